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

#include "kot.h"
#include "image_block.h"

namespace {

// Smooth colour ramps with a soft blob, a little noise and a corner fading
// into full transparency.
kvzatest::ImagePtr photo_like(int width, int height) {
    auto img = kvzatest::make_image(width, height);
    uint32_t rng = 2024;
    auto noise = [&rng] {
        rng = rng * 1664525U + 1013904223U;
        return static_cast<float>((rng >> 8) & 0xFFFF) / 65535.0f - 0.5f;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            const float blob = std::exp(-((u - 0.4f) * (u - 0.4f) + (v - 0.6f) * (v - 0.6f)) * 10);
            KvzaPixel rgba{};
            rgba.c = 0.15f + 0.7f * u * (1 - blob) + 0.2f * blob + 0.03f * noise();
            rgba.s = 0.3f + 0.2f * std::sin(5 * v + 3 * u) + 0.4f * blob + 0.03f * noise();
            rgba.w = 0.5f + 0.4f * std::cos(4 * u - 2 * v) + 0.03f * noise();
            const float corner = (u + v - 1.5f) * 4;
            rgba.a = corner <= 0 ? 1.0f : (corner >= 1 ? 0.0f : 1 - corner);
            kvza_cliprgba(&rgba, &rgba);
            kvza_rgba2kvza(&kvzatest::at(img.get(), x, y), &rgba);
        }
    }
    return img;
}

std::string plugin_folder() {
    if (const char *dir = std::getenv("KVZA_PLUGIN_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "bin";
    return (self.parent_path().parent_path() / "bin").string();
}

// A writer plug-in's kot_save, resolved once; the library stays loaded.
KotSaveFn writer_save(const char *name) {
    const std::string path = plugin_folder() + "/" + name + ".so";
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    return reinterpret_cast<KotSaveFn>(dlsym(handle, "kot_save"));
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
    static kvzatest::ImagePtr image = photo_like(4000, 3000);
    return image.get();
}

KvzaImage *icon() {
    static kvzatest::ImagePtr image = photo_like(255, 255);
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

// The image as 8-bit RGBA (channels clipped, times 255, rounded).
bool dump_rgba(const KvzaImage *image, const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
    std::vector<uint8_t> bytes(4 * count);
    for (size_t i = 0; i < count; ++i) {
        KvzaPixel rgba;
        kvza_kvza2rgba(&rgba, &image->pixels[i]);
        kvza_cliprgba(&rgba, &rgba);
        const float channel[4] = {rgba.c, rgba.s, rgba.w, rgba.a};
        for (int k = 0; k < 4; ++k)
            bytes[4 * i + static_cast<size_t>(k)] =
                static_cast<uint8_t>(channel[k] * 255.0f + 0.5f);
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string dump = "--dump-rgba=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], dump.c_str(), dump.size()) == 0) {
            const std::string dir = argv[i] + dump.size();
            const bool ok = dump_rgba(photo(), dir + "/photo_4000x3000.rgba") &&
                            dump_rgba(icon(), dir + "/icon_255x255.rgba");
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
