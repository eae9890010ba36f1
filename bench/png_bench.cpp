// Loading and saving a 4000 x 3000 photo-like RGBA picture through the PNG
// plug-ins, loaded with dlopen from the output folder as the editor loads
// them: kinpng reads the file named by $KVZA_PNG_BENCH_FILE (made by another
// program, see bench/png_vs_imagemagick.sh), or else a file that kotpng
// writes first; kotpng saves the loaded picture in layout 21 ("RGB
// 24bit(+8bit alpha)") with the table's default options. The saved file's
// size is reported as the counter "bytes".
//
// With --dump-rgba=FILE the program writes the photo-like picture as 8-bit
// RGBA and exits, so that another converter can start from the same pixels.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_plugins.h"
#include "kin.h"
#include "kot.h"

namespace {

std::string temp_path(const char *suffix) {
    return (std::filesystem::temp_directory_path() /
            ("kvza_png_bench_" + std::to_string(::getpid()) + suffix))
        .string();
}

// The default options of the writer's table for the given layout.
KotSaveOptions default_options(int16_t type) {
    KotSaveOptions o{};
    const auto table_fn =
        reinterpret_cast<KotGetUsableTblFn>(kvzabench::plugin_symbol("kotpng", "kot_getusabletbl"));
    if (table_fn != nullptr) {
        const KotUsableTable *table = table_fn();
        o.switches = table->switch_defaults;
        for (int i = 0; i < table->track_count && i < KOT_MAX_TRACKS; ++i)
            o.track[i] = table->track[i].position;
    }
    o.type = type;
    o.valid = 1;
    return o;
}

const auto kSave = [] {
    return reinterpret_cast<KotSaveFn>(kvzabench::plugin_symbol("kotpng", "kot_save"));
};

// Whether source_file made its file (removed at the end).
bool made_source = false;

// The PNG file to load: the given one, or the photo-like picture saved by kotpng.
const std::string &source_file() {
    static const std::string path = [] {
        if (const char *given = std::getenv("KVZA_PNG_BENCH_FILE"); given != nullptr && *given)
            return std::string(given);
        const std::string made = temp_path(".png");
        const KotSaveFn save = kSave();
        const KotSaveOptions o = default_options(21);
        auto image = kvzabench::photo_like(4000, 3000);
        if (save == nullptr || save(image.get(), made.c_str(), &o, nullptr) != KOT_OK)
            return std::string();
        made_source = true;
        return made;
    }();
    return path;
}

// Loads the source file as the editor does.
kvzatest::ImagePtr load(benchmark::State &state) {
    return kvzabench::load_with(state, "kinpng", source_file().c_str());
}

void BM_KinpngLoadRgba4000x3000(benchmark::State &state) {
    for (auto _ : state) {
        kvzatest::ImagePtr image = load(state);
        if (!image) return;
        benchmark::DoNotOptimize(image->pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 4000 * 3000);
}
BENCHMARK(BM_KinpngLoadRgba4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KotpngSaveRgba4000x3000(benchmark::State &state) {
    kvzatest::ImagePtr image = load(state);
    const KotSaveFn save = kSave();
    if (!image || save == nullptr) {
        if (save == nullptr) state.SkipWithError("kotpng is missing");
        return;
    }
    const KotSaveOptions o = default_options(21);
    const std::string out = temp_path("_out.png");
    for (auto _ : state) {
        if (save(image.get(), out.c_str(), &o, nullptr) != KOT_OK) {
            state.SkipWithError("save failed");
            break;
        }
    }
    std::error_code ec;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out, ec));
    std::filesystem::remove(out, ec);
    state.SetItemsProcessed(state.iterations() * int64_t{image->width} * image->height);
}
BENCHMARK(BM_KotpngSaveRgba4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    const int status = kvzabench::bench_main(argc, argv);
    if (made_source) {
        std::error_code ec;
        std::filesystem::remove(source_file(), ec);
    }
    return status;
}
