// Loading a 4000 x 3000 photo-like RGBA picture through the wide reader,
// loaded with dlopen from the output folder as the editor loads it: a
// run-length encoded 32-bit TGA ($KVZA_WIDE_BENCH_TGA) and a 32-bit BMP with
// a 124-byte header and an alpha mask ($KVZA_WIDE_BENCH_BMP), both made by
// another program (see bench/wide_vs_imagemagick.sh).
//
// With --dump-rgba=FILE the program writes the photo-like picture as 8-bit
// RGBA and exits, so that the other program starts from the same pixels.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_plugins.h"
#include "kin.h"

namespace {

// Loads the file named by the variable as the editor does: size, a zeroed
// image, the pixels.
void load_file(benchmark::State &state, const char *variable) {
    const char *path = std::getenv(variable);
    const auto pixs =
        reinterpret_cast<KinPixsFunc>(kvzabench::plugin_symbol("kinwide", "kin_pixs"));
    const auto load_fn =
        reinterpret_cast<KinLoadFunc>(kvzabench::plugin_symbol("kinwide", "kin_load"));
    if (path == nullptr || pixs == nullptr || load_fn == nullptr) {
        state.SkipWithError("kinwide or the file is missing");
        return;
    }
    int32_t w = 0, h = 0;
    for (auto _ : state) {
        if (pixs(path, 0, &w, &h) <= 0) {
            state.SkipWithError("file refused");
            return;
        }
        kvzatest::ImagePtr image = kvzatest::make_image(w, h);
        if (load_fn(image.get(), path, 0, nullptr) != KIN_OK) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(image->pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{w} * h);
}

void BM_KinwideLoadRleTga4000x3000(benchmark::State &state) {
    load_file(state, "KVZA_WIDE_BENCH_TGA");
}
BENCHMARK(BM_KinwideLoadRleTga4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KinwideLoadAlphaBmp4000x3000(benchmark::State &state) {
    load_file(state, "KVZA_WIDE_BENCH_BMP");
}
BENCHMARK(BM_KinwideLoadAlphaBmp4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    const std::string dump = "--dump-rgba=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], dump.c_str(), dump.size()) == 0)
            return kvzabench::dump_rgba(kvzabench::photo_like(4000, 3000).get(),
                                        argv[i] + dump.size())
                       ? 0
                       : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
