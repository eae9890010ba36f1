// Saving through the ICO and TGA writer plug-ins, loaded with dlopen from
// the output folder as the editor loads them: a 4000 x 3000 image as 32-bit
// TGA with alpha (id 21) and a 255 x 255 icon in its 32-bit (id 225) and
// optimised 256-colour (id 222) layouts.
//
// The plug-ins are looked for in $KVZA_PLUGIN_DIR, else in ../bin beside this
// program. With --dump-rgba=DIR the program writes the two source images as
// 8-bit RGBA files (photo_4000x3000.rgba, icon_255x255.rgba) into DIR and
// exits, so that another converter can be timed on the same pixels
// (bench/ico_tga_vs_imagemagick.sh).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_plugins.h"
#include "image_block.h"
#include "kot.h"

namespace {

// A writer plug-in's kot_save, resolved once; the library stays loaded.
KotSaveFn writer_save(const char *name) {
    return reinterpret_cast<KotSaveFn>(kvzabench::plugin_symbol(name, "kot_save"));
}

std::string out_path(const char *suffix) {
    return (std::filesystem::temp_directory_path() /
            ("kvza_writer_bench_" + std::to_string(::getpid()) + suffix))
        .string();
}

void run_save(benchmark::State &state, const char *plugin, KvzaImage *image, int16_t type,
              const char *suffix) {
    const KotSaveFn save = writer_save(plugin);
    if (save == nullptr) {
        state.SkipWithError("writer plug-in not found (set KVZA_PLUGIN_DIR)");
        return;
    }
    KotSaveOptions o{};
    o.type = type;
    o.valid = 1;
    o.track[0] = 128;  // the default dither strength
    o.track[1] = type == 21 ? 4 : 128;
    const std::string path = out_path(suffix);
    for (auto _ : state) {
        if (save(image, path.c_str(), &o, nullptr) != KOT_OK) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t{image->width} * image->height);
    std::filesystem::remove(path);
}

KvzaImage *photo() {
    static kvzatest::ImagePtr image = kvzabench::photo_like(4000, 3000);
    return image.get();
}

KvzaImage *icon() {
    static kvzatest::ImagePtr image = kvzabench::photo_like(255, 255);
    return image.get();
}

void BM_SaveTga4000x3000Rgba32(benchmark::State &state) {
    run_save(state, "kottga", photo(), 21, ".tga");
}
BENCHMARK(BM_SaveTga4000x3000Rgba32)->Unit(benchmark::kMillisecond);

void BM_SaveIco255Rgb32(benchmark::State &state) {
    run_save(state, "kotico", icon(), 225, ".ico");
}
BENCHMARK(BM_SaveIco255Rgb32)->Unit(benchmark::kMillisecond);

void BM_SaveIco255Index8(benchmark::State &state) {
    run_save(state, "kotico", icon(), 222, ".ico");
}
BENCHMARK(BM_SaveIco255Index8)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    const std::string dump = "--dump-rgba=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], dump.c_str(), dump.size()) == 0) {
            const std::string dir = argv[i] + dump.size();
            const bool ok = kvzabench::dump_rgba(photo(), dir + "/photo_4000x3000.rgba") &&
                            kvzabench::dump_rgba(icon(), dir + "/icon_255x255.rgba");
            if (!ok) std::fprintf(stderr, "cannot write the images into %s\n", dir.c_str());
            return ok ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
