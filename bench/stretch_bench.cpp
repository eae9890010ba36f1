// Speed of the five resampling modes, 1024 x 1024 -> 2048 x 2048, on a
// photo-like source: smooth colour and whiteness gradients, a soft alpha
// ramp along the left edge and a fully transparent hole.
#include <benchmark/benchmark.h>

#include <cmath>

#include "image_block.h"

namespace {

constexpr int kSrcSize = 1024;
constexpr int kDstSize = 2048;

kvzatest::ImagePtr photo_like() {
    auto image = kvzatest::make_image(kSrcSize, kSrcSize);
    for (int y = 0; y < kSrcSize; ++y) {
        for (int x = 0; x < kSrcSize; ++x) {
            const double u = x / double(kSrcSize), v = y / double(kSrcSize);
            const double w = 0.8 * std::sin(3.1 * u + 1.7 * v) * std::cos(2.3 * v);
            const double hue = 6.283185307179586 * (u * 0.7 + v * 0.4);
            // Keep the chroma inside what the whiteness allows.
            const double chroma = 0.9 * std::cos(w * 1.5707963267948966) * (0.3 + 0.7 * v);
            double a = 1.0;
            if (u < 0.1) a = u / 0.1;
            const double dx = u - 0.65, dy = v - 0.35;
            if (dx * dx + dy * dy < 0.01) a = 0.0;
            kvzatest::at(image.get(), x, y) = {static_cast<float>(chroma * std::cos(hue)),
                                               static_cast<float>(chroma * std::sin(hue)),
                                               static_cast<float>(w), static_cast<float>(a)};
        }
    }
    return image;
}

using StretchFn = int32_t (*)(KvzaImage *, const KvzaImage *, KvzaProgress *);

void run(benchmark::State &state, StretchFn fn) {
    const auto src = photo_like();
    auto dst = kvzatest::make_image(kDstSize, kDstSize);
    fn(dst.get(), src.get(), nullptr);  // fault the destination's pages in outside the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(fn(dst.get(), src.get(), nullptr));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kDstSize} * kDstSize);
}

// The same with a progress record as the editor passes it (callback every
// 4096 pixels), to show the cost of the per-pixel count.
int32_t never_stop(void *, uint32_t, uint32_t) {
    return 0;
}

void run_with_progress(benchmark::State &state, StretchFn fn) {
    const auto src = photo_like();
    auto dst = kvzatest::make_image(kDstSize, kDstSize);
    fn(dst.get(), src.get(), nullptr);
    for (auto _ : state) {
        KvzaProgress progress{&never_stop, nullptr, 4095, 0, 0, 0};
        benchmark::DoNotOptimize(fn(dst.get(), src.get(), &progress));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kDstSize} * kDstSize);
}

void BM_StretchNear(benchmark::State &state) {
    run(state, kvza_stretch_near);
}
void BM_StretchLine(benchmark::State &state) {
    run(state, kvza_stretch_line);
}
void BM_StretchSlant(benchmark::State &state) {
    run(state, kvza_stretch_slant);
}
void BM_StretchArc(benchmark::State &state) {
    run(state, kvza_stretch_arc);
}
void BM_StretchShape(benchmark::State &state) {
    run(state, kvza_stretch_shape);
}
void BM_StretchLineProgress(benchmark::State &state) {
    run_with_progress(state, kvza_stretch_line);
}

BENCHMARK(BM_StretchNear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchSlant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchArc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchShape)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchLineProgress)->Unit(benchmark::kMillisecond);

}  // namespace
