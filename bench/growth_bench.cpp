// How the cost of each operation grows with the picture: 1, 4, 16 and 64
// megapixels (square pictures of 1024 to 8192 pixels a side), reported as
// pixels per second, which stays level when the cost grows with the pixel
// count and no faster. Library operations, and loading and saving through
// the plug-ins of the output folder ($KVZA_PLUGIN_DIR, else ../bin).
//
//   build-release/bench/growth_bench --benchmark_filter=Stretch
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_plugins.h"
#include "image_block.h"
#include "kot.h"

namespace {

int side(const benchmark::State &state) {
    return static_cast<int>(state.range(0));
}

// The photo-like picture of the given side, made once per side.
KvzaImage *picture(int n) {
    static std::vector<std::pair<int, kvzatest::ImagePtr>> made;
    for (auto &[s, image] : made)
        if (s == n) return image.get();
    made.emplace_back(n, kvzabench::photo_like(n, n));
    return made.back().second.get();
}

void count_pixels(benchmark::State &state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {1024, 2048, 4096, 8192}) b->Arg(n);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

void BM_Rgb2KvzN(benchmark::State &state) {
    const int n = side(state);
    std::vector<KvzaPixel> px(static_cast<size_t>(n) * n);
    const KvzaImage *image = picture(n);
    kvza_kvz2rgb_n(px.data(), image->pixels, px.size());
    std::vector<KvzaPixel> out(px.size());
    for (auto _ : state) kvza_rgb2kvz_n(out.data(), px.data(), px.size());
    count_pixels(state, int64_t{n} * n);
}
BENCHMARK(BM_Rgb2KvzN)->Apply(Sizes);

void BM_Kvz2RgbN(benchmark::State &state) {
    const int n = side(state);
    const KvzaImage *image = picture(n);
    std::vector<KvzaPixel> out(static_cast<size_t>(n) * n);
    for (auto _ : state) kvza_kvz2rgb_n(out.data(), image->pixels, out.size());
    count_pixels(state, int64_t{n} * n);
}
BENCHMARK(BM_Kvz2RgbN)->Apply(Sizes);

// A picture of half the side stretched to the side.
void BM_StretchLine(benchmark::State &state) {
    const int n = side(state);
    KvzaImage *src = picture(n / 2);
    auto dst = kvzatest::make_image(n, n);
    for (auto _ : state) benchmark::DoNotOptimize(kvza_stretch_line(dst.get(), src, nullptr));
    count_pixels(state, int64_t{n} * n);
}
BENCHMARK(BM_StretchLine)->Apply(Sizes);

// Puts the picture of side n back into work (an operation that changes its
// image in place starts each iteration from the same pixels), outside the timing.
void restore(benchmark::State &state, KvzaImage *work, int n) {
    state.PauseTiming();
    std::memcpy(work, picture(n),
                KVZA_HEADER_BYTES + sizeof(KvzaPixel) * static_cast<size_t>(n) * n);
    state.ResumeTiming();
}

void BM_AdjustOutline(benchmark::State &state) {
    const int n = side(state);
    auto work = kvzatest::make_image(n, n);
    for (auto _ : state) {
        restore(state, work.get(), n);
        benchmark::DoNotOptimize(kvza_adjustoutline(work.get(), 1e-5f, nullptr));
    }
    count_pixels(state, int64_t{n} * n);
}
BENCHMARK(BM_AdjustOutline)->Apply(Sizes);

void BM_Reduce256Dither128(benchmark::State &state) {
    const int n = side(state);
    auto work = kvzatest::make_image(n, n);
    std::vector<uint8_t> index(static_cast<size_t>(n) * n);
    for (auto _ : state) {
        restore(state, work.get(), n);
        benchmark::DoNotOptimize(
            kvza_reduce(work.get(), KVZA_ALPHA_FULL, 256, 128, nullptr, index.data(), nullptr));
    }
    count_pixels(state, int64_t{n} * n);
}
BENCHMARK(BM_Reduce256Dither128)->Apply(Sizes)->Iterations(1);

std::string temp_file(int n, const char *suffix) {
    return (std::filesystem::temp_directory_path() /
            ("kvza_growth_" + std::to_string(::getpid()) + "_" + std::to_string(n) + suffix))
        .string();
}

// Saves picture(n) through a writer plug-in in layout type.
bool save(benchmark::State &state, const char *plugin, int n, int16_t type,
          const std::string &path) {
    const auto fn = reinterpret_cast<KotSaveFn>(kvzabench::plugin_symbol(plugin, "kot_save"));
    if (fn == nullptr) {
        state.SkipWithError("writer plug-in not found (set KVZA_PLUGIN_DIR)");
        return false;
    }
    KotSaveOptions o{};
    o.type = type;
    o.valid = 1;
    o.track[0] = 128;
    if (fn(picture(n), path.c_str(), &o, nullptr) != KOT_OK) {
        state.SkipWithError("save failed");
        return false;
    }
    return true;
}

// Saves picture(side) through a writer plug-in again and again.
void run_save(benchmark::State &state, const char *plugin, int16_t type, const char *suffix) {
    const int n = side(state);
    const std::string path = temp_file(n, suffix);
    for (auto _ : state)
        if (!save(state, plugin, n, type, path)) break;
    count_pixels(state, int64_t{n} * n);
    std::filesystem::remove(path);
}

void BM_SaveBmp24(benchmark::State &state) {
    run_save(state, "kotbmp", 20, ".bmp");
}
BENCHMARK(BM_SaveBmp24)->Apply(Sizes);

void BM_SaveTga32(benchmark::State &state) {
    run_save(state, "kottga", 21, ".tga");
}
BENCHMARK(BM_SaveTga32)->Apply(Sizes);

void BM_LoadBmp24(benchmark::State &state) {
    const int n = side(state);
    const std::string path = temp_file(n, ".bmp");
    if (!save(state, "kotbmp", n, 20, path)) return;
    for (auto _ : state)
        if (kvzabench::load_with(state, "kinbmp", path.c_str()) == nullptr) break;
    count_pixels(state, int64_t{n} * n);
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadBmp24)->Apply(Sizes);

}  // namespace
