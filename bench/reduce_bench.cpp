// Palette optimisation and colour reduction of a 1024 x 1024 photo-like image.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image_block.h"

namespace {

constexpr int kSize = 1024;

// Smooth colour gradients and soft shapes with a little noise, and a corner
// fading into full transparency.
kvzatest::ImagePtr photo_like() {
    auto img = kvzatest::make_image(kSize, kSize);
    uint32_t rng = 12345;
    auto noise = [&rng] {
        rng = rng * 1664525U + 1013904223U;
        return static_cast<float>((rng >> 8) & 0xFFFF) / 65535.0f - 0.5f;
    };
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const float u = static_cast<float>(x) / kSize;
            const float v = static_cast<float>(y) / kSize;
            const float blob = std::exp(-((u - 0.6f) * (u - 0.6f) + (v - 0.4f) * (v - 0.4f)) * 12);
            KvzaPixel rgba{};
            rgba.c = 0.2f + 0.6f * u * (1 - blob) + 0.2f * blob + 0.03f * noise();
            rgba.s = 0.3f + 0.4f * std::sin(6 * v + 2 * u) * 0.5f + 0.5f * blob + 0.03f * noise();
            rgba.w = 0.5f + 0.4f * std::cos(5 * u - 3 * v) + 0.03f * noise();
            const float corner = (u + v - 1.5f) * 4;
            rgba.a = corner <= 0 ? 1.0f : (corner >= 1 ? 0.0f : 1 - corner);
            kvza_cliprgba(&rgba, &rgba);
            kvza_rgba2kvza(&kvzatest::at(img.get(), x, y), &rgba);
        }
    }
    return img;
}

size_t block_bytes() {
    return KVZA_HEADER_BYTES + sizeof(KvzaPixel) * static_cast<size_t>(kSize) * kSize;
}

void BM_OptimPal256Full(benchmark::State &state) {
    const auto source = photo_like();
    auto img = kvzatest::make_image(kSize, kSize);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(img.get(), source.get(), block_bytes());
        state.ResumeTiming();
        benchmark::DoNotOptimize(kvza_optimpal(img.get(), KVZA_ALPHA_FULL, 256, nullptr));
    }
}
BENCHMARK(BM_OptimPal256Full)->Unit(benchmark::kMillisecond);

void BM_Reduce256FullDither128(benchmark::State &state) {
    const auto source = photo_like();
    auto img = kvzatest::make_image(kSize, kSize);
    std::vector<uint8_t> index(static_cast<size_t>(kSize) * kSize);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(img.get(), source.get(), block_bytes());
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            kvza_reduce(img.get(), KVZA_ALPHA_FULL, 256, 128, nullptr, index.data(), nullptr));
    }
}
BENCHMARK(BM_Reduce256FullDither128)->Unit(benchmark::kMillisecond);

// An image that already holds at most 256 colours: the distinct-colour path.
void BM_Reduce256FullAlreadyReduced(benchmark::State &state) {
    auto source = photo_like();
    kvza_reduce(source.get(), KVZA_ALPHA_FULL, 256, 128, nullptr, nullptr, nullptr);
    auto img = kvzatest::make_image(kSize, kSize);
    std::vector<uint8_t> index(static_cast<size_t>(kSize) * kSize);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(img.get(), source.get(), block_bytes());
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            kvza_reduce(img.get(), KVZA_ALPHA_FULL, 256, 128, nullptr, index.data(), nullptr));
    }
}
BENCHMARK(BM_Reduce256FullAlreadyReduced)->Unit(benchmark::kMillisecond);

}  // namespace
