// Colour conversion and outline adjustment over large images.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image_block.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// RGB values of a smooth photo-like gradient with some noise.
std::vector<KvzaPixel> rgb_buffer() {
    std::vector<KvzaPixel> px(static_cast<size_t>(kWidth) * kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = static_cast<float>(seed >> 24) / 2550.0f;
            px[x + static_cast<size_t>(y) * kWidth] = {
                std::fmod(x / 4000.0f + noise, 1.0f), y / 3000.0f,
                0.5f + 0.4f * std::sin(x * 0.01f + y * 0.02f), 1.0f};
        }
    }
    return px;
}

// The same picture as read from an 8-bit file: every channel b / 255.
std::vector<KvzaPixel> byte_rgb_buffer() {
    std::vector<KvzaPixel> px = rgb_buffer();
    const float k = 1.0f / 255.0f;
    for (KvzaPixel &p : px) {
        p.c = std::round(std::clamp(p.c, 0.0f, 1.0f) * 255.0f) * k;
        p.s = std::round(std::clamp(p.s, 0.0f, 1.0f) * 255.0f) * k;
        p.w = std::round(std::clamp(p.w, 0.0f, 1.0f) * 255.0f) * k;
    }
    return px;
}

// Unique random floats: no colour repeats.
std::vector<KvzaPixel> unique_rgb_buffer() {
    std::vector<KvzaPixel> px(static_cast<size_t>(kWidth) * kHeight);
    uint32_t seed = 99;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (KvzaPixel &p : px) p = {next(), next(), next(), 1.0f};
    return px;
}

// Converts every pixel of src one call at a time, or with many through the
// many-pixel conversions (all cores, SIMD lanes); with to_rgb the pixels are
// first made KVZ colours, and converted back.
void run_conversion(benchmark::State &state, std::vector<KvzaPixel> src, bool to_rgb,
                    bool many = false) {
    if (to_rgb) kvza_rgb2kvz_n(src.data(), src.data(), src.size());
    const auto one = to_rgb ? &kvza_kvz2rgb : &kvza_rgb2kvz;
    const auto all = to_rgb ? &kvza_kvz2rgb_n : &kvza_rgb2kvz_n;
    std::vector<KvzaPixel> dst(src.size());
    for (auto _ : state) {
        if (many)
            all(dst.data(), src.data(), src.size());
        else
            for (size_t i = 0; i < src.size(); ++i) one(&dst[i], &src[i]);
        benchmark::DoNotOptimize(dst.data());
    }
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(src.size()) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void BM_rgb2kvz(benchmark::State &state) {
    run_conversion(state, rgb_buffer(), false);
}
BENCHMARK(BM_rgb2kvz)->Unit(benchmark::kMillisecond);

void BM_kvz2rgb(benchmark::State &state) {
    run_conversion(state, rgb_buffer(), true);
}
BENCHMARK(BM_kvz2rgb)->Unit(benchmark::kMillisecond);

void BM_rgb2kvz_from8bit(benchmark::State &state) {
    run_conversion(state, byte_rgb_buffer(), false);
}
BENCHMARK(BM_rgb2kvz_from8bit)->Unit(benchmark::kMillisecond);

void BM_kvz2rgb_from8bit(benchmark::State &state) {
    run_conversion(state, byte_rgb_buffer(), true);
}
BENCHMARK(BM_kvz2rgb_from8bit)->Unit(benchmark::kMillisecond);

void BM_rgb2kvz_unique(benchmark::State &state) {
    run_conversion(state, unique_rgb_buffer(), false);
}
BENCHMARK(BM_rgb2kvz_unique)->Unit(benchmark::kMillisecond);

void BM_rgb2kvz_n_from8bit(benchmark::State &state) {
    run_conversion(state, byte_rgb_buffer(), false, true);
}
BENCHMARK(BM_rgb2kvz_n_from8bit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_kvz2rgb_n_from8bit(benchmark::State &state) {
    run_conversion(state, byte_rgb_buffer(), true, true);
}
BENCHMARK(BM_kvz2rgb_n_from8bit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_rgb2kvz_n_unique(benchmark::State &state) {
    run_conversion(state, unique_rgb_buffer(), false, true);
}
BENCHMARK(BM_rgb2kvz_n_unique)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_kvz2rgb_n_unique(benchmark::State &state) {
    run_conversion(state, unique_rgb_buffer(), true, true);
}
BENCHMARK(BM_kvz2rgb_n_unique)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_kvz2rgb_unique(benchmark::State &state) {
    run_conversion(state, unique_rgb_buffer(), true);
}
BENCHMARK(BM_kvz2rgb_unique)->Unit(benchmark::kMillisecond);

// 12 MP with a transparent disc pattern, so the outline pass has work.
void BM_adjustoutline(benchmark::State &state) {
    auto image = kvzatest::make_image(kWidth, kHeight);
    auto fresh = kvzatest::make_image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int dx = x % 64 - 32, dy = y % 64 - 32;
            kvzatest::at(fresh.get(), x, y) = {0.3f, -0.2f, 0.1f,
                                               dx * dx + dy * dy < 500 ? 1.0f : 0.0f};
        }
    const size_t bytes = KVZA_HEADER_BYTES + sizeof(KvzaPixel) * kWidth * kHeight;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image.get(), fresh.get(), bytes);
        state.ResumeTiming();
        benchmark::DoNotOptimize(kvza_adjustoutline(image.get(), 1e-5f, nullptr));
    }
}
BENCHMARK(BM_adjustoutline)->Unit(benchmark::kMillisecond);

}  // namespace
