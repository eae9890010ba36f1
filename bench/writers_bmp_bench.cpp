// Saving a 4000 x 3000 picture through the BMP writer's exports: as 24-bit
// colour (id 20) and as an optimised 8-bit palette (id 41), with the save
// dialog's default options (dither 128, no switches). The plug-in is loaded
// with dlopen from the build's bin folder (or KVZA_PLUGIN_DIR).
//
// With KVZA_BMP_BENCH_RGBA=FILE the picture is also written to FILE as raw
// 8-bit RGBA, so that bench/bmp_vs_imagemagick.sh can time another encoder
// on the very same pixels.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kot.h"
#include "image_block.h"
#include "kvza.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The bin folder beside this program's folder, or KVZA_PLUGIN_DIR.
std::string plugin_dir() {
    if (const char *dir = std::getenv("KVZA_PLUGIN_DIR")) return dir;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "bin";
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/'));
    return path.substr(0, path.rfind('/')) + "/bin";
}

struct Writer {
    void *handle = nullptr;
    KotSaveFn save = nullptr;
    Writer() {
        const std::string lib = plugin_dir() + "/kotbmp.so";
        handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) save = reinterpret_cast<KotSaveFn>(dlsym(handle, "kot_save"));
    }
    ~Writer() {
        if (handle != nullptr) dlclose(handle);
    }
};

// A photo-like picture as 8-bit RGBA: smooth gradients, a soft blob and a
// little noise; fully opaque.
std::vector<uint8_t> picture_rgba() {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight * 4);
    uint32_t seed = 24680;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<double>(seed >> 24) / 255.0 * 0.06 - 0.03;
            const double u = static_cast<double>(x) / kWidth;
            const double v = static_cast<double>(y) / kHeight;
            const double blob = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12);
            const double rgb[3] = {0.2 + 0.6 * u * (1 - blob) + 0.2 * blob + noise,
                                   0.3 + 0.2 * std::sin(6 * v + 2 * u) + 0.5 * blob + noise,
                                   0.5 + 0.4 * std::cos(5 * u - 3 * v) + noise};
            uint8_t *p = &px[(static_cast<size_t>(y) * kWidth + x) * 4];
            for (int k = 0; k < 3; ++k) {
                const double c = rgb[k] < 0 ? 0 : (rgb[k] > 1 ? 1 : rgb[k]);
                p[k] = static_cast<uint8_t>(c * 255.0 + 0.5);
            }
            p[3] = 255;
        }
    }
    return px;
}

// The picture as a KVZA image (bytes times the float nearest 1/255).
kvzatest::ImagePtr picture() {
    const std::vector<uint8_t> rgba = picture_rgba();
    if (const char *dump = std::getenv("KVZA_BMP_BENCH_RGBA")) {
        if (std::FILE *f = std::fopen(dump, "wb")) {
            std::fwrite(rgba.data(), 1, rgba.size(), f);
            std::fclose(f);
        }
    }
    auto image = kvzatest::make_image(kWidth, kHeight);
    const float k = 1.0f / 255.0f;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t *p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            const KvzaPixel c{p[0] * k, p[1] * k, p[2] * k, p[3] * k};
            kvza_rgba2kvza(&kvzatest::at(image.get(), x, y), &c);
        }
    }
    return image;
}

KvzaImage *shared_picture() {
    static kvzatest::ImagePtr image = picture();
    return image.get();
}

std::string output_path(const char *name) {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kvza_bench_" +
           std::to_string(getpid()) + "_" + name + ".bmp";
}

void save_as(benchmark::State &state, int16_t type, const char *name) {
    static Writer writer;
    if (writer.save == nullptr) {
        state.SkipWithError("kotbmp.so not found (set KVZA_PLUGIN_DIR)");
        return;
    }
    KvzaImage *image = shared_picture();
    const std::string path = output_path(name);
    KotSaveOptions options{};
    options.type = type;
    options.track[0] = 128;  // the dialog's default dither
    options.track[1] = 128;
    for (auto _ : state) {
        const int32_t status = writer.save(image, path.c_str(), &options, nullptr);
        if (status != 0) {
            state.SkipWithError("kot_save failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_KotBmpSaveRgb24(benchmark::State &state) {
    save_as(state, 20, "rgb24");
}
BENCHMARK(BM_KotBmpSaveRgb24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

void BM_KotBmpSaveIndex8(benchmark::State &state) {
    save_as(state, 41, "index8");
}
BENCHMARK(BM_KotBmpSaveIndex8)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
