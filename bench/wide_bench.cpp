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

#include "bench_plugins.h"

namespace {

// Loads the file named by the variable, once per iteration.
void load_file(benchmark::State &state, const char *variable) {
    int64_t pixels = 0;
    for (auto _ : state) {
        kvzatest::ImagePtr image = kvzabench::load_with(state, "kinwide", std::getenv(variable));
        if (!image) return;
        pixels = int64_t{image->width} * image->height;
        benchmark::DoNotOptimize(image->pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * pixels);
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
    return kvzabench::bench_main(argc, argv);
}
