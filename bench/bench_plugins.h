// Shared by the plug-in benchmarks: a photo-like test picture and the
// plug-ins of the output folder, loaded with dlopen as the editor loads them.
#pragma once

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image_block.h"
#include "kin.h"

namespace kvzabench {

// Smooth colour ramps with a soft blob, a little noise and a corner fading
// into full transparency.
inline kvzatest::ImagePtr photo_like(int width, int height) {
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

// $KVZA_PLUGIN_DIR, else ../bin beside this program.
inline std::string plugin_folder() {
    if (const char *dir = std::getenv("KVZA_PLUGIN_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "bin";
    return (self.parent_path().parent_path() / "bin").string();
}

// An export of a plug-in of the output folder, or nullptr; the library stays loaded.
inline void *plugin_symbol(const char *plugin, const char *symbol) {
    const std::string path = plugin_folder() + "/" + plugin + ".so";
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle == nullptr ? nullptr : dlsym(handle, symbol);
}

// The image as 8-bit RGBA (channels clipped, times 255, rounded).
inline bool dump_rgba(const KvzaImage *image, const std::string &path) {
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

// Opens path with a reader plug-in of the output folder as the editor does:
// the size, an image zeroed by the system, the pixels. nullptr after a
// SkipWithError on state.
inline kvzatest::ImagePtr load_with(benchmark::State &state, const char *plugin, const char *path) {
    const auto pixs = reinterpret_cast<KinPixsFunc>(plugin_symbol(plugin, "kin_pixs"));
    const auto load = reinterpret_cast<KinLoadFunc>(plugin_symbol(plugin, "kin_load"));
    if (path == nullptr || *path == '\0' || pixs == nullptr || load == nullptr) {
        state.SkipWithError("the reader plug-in or the file is missing");
        return nullptr;
    }
    int32_t w = 0, h = 0;
    if (pixs(path, 0, &w, &h) <= 0) {
        state.SkipWithError("file refused");
        return nullptr;
    }
    // Pages are committed as the reader writes, as with the host's images.
    kvzatest::ImagePtr image = kvzatest::make_image(w, h);
    if (load(image.get(), path, 0, nullptr) != KIN_OK) {
        state.SkipWithError("load failed");
        return nullptr;
    }
    return image;
}

// The main of the plug-in benchmarks: with --dump-rgba=FILE the photo-like
// 4000 x 3000 picture is written as 8-bit RGBA (so another program can start
// from the same pixels) and nothing is timed; else the benchmarks run.
inline int bench_main(int argc, char **argv) {
    const std::string dump = "--dump-rgba=";
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).rfind(dump, 0) == 0)
            return dump_rgba(photo_like(4000, 3000).get(), argv[i] + dump.size()) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace kvzabench
