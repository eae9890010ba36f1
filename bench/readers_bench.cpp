// Loading a 4000 x 3000 picture through the reader plug-ins' exports: a
// 24-bit BMP with kinbmp and a 32-bit TGA with kintga. The files are made
// here; the plug-ins are loaded with dlopen from the build's bin folder.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image_block.h"
#include "kvza.h"

namespace {

using KinPixs = int32_t (*)(const char *, int32_t, int32_t *, int32_t *);
using KinLoad = int32_t (*)(KvzaImage *, const char *, int32_t, KvzaProgress *);

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

struct Plugin {
    void *handle = nullptr;
    KinPixs pixs = nullptr;
    KinLoad load = nullptr;
    explicit Plugin(const char *name) {
        const std::string lib = plugin_dir() + "/" + name + ".so";
        handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        pixs = reinterpret_cast<KinPixs>(dlsym(handle, "kin_pixs"));
        load = reinterpret_cast<KinLoad>(dlsym(handle, "kin_load"));
    }
    ~Plugin() {
        if (handle != nullptr) dlclose(handle);
    }
};

void put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t> &b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}

// A file of varied colours, removed at the end.
struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<uint8_t> &bytes) {
        const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(dir) + "/kinbenchXXXXXX";
        const int fd = mkstemp(tmpl.data());
        if (fd < 0) return;
        close(fd);
        path = tmpl;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~TempFile() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

uint8_t channel(int x, int y, int k) {
    return static_cast<uint8_t>((x * (k + 3) + y * (7 - k)) >> 2);
}

std::vector<uint8_t> bmp24() {
    const uint32_t stride = (kWidth * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b;
    put16(b, 0x4D42);
    put32(b, 54 + stride * kHeight);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, kWidth);
    put32(b, kHeight);
    put16(b, 1);
    put16(b, 24);
    for (int i = 0; i < 6; ++i) put32(b, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            for (int k = 0; k < 3; ++k) b.push_back(channel(x, y, k));
        for (uint32_t p = kWidth * 3; p < stride; ++p) b.push_back(0);
    }
    return b;
}

std::vector<uint8_t> tga32() {
    std::vector<uint8_t> b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(b, kWidth);
    put16(b, kHeight);
    b.push_back(32);
    b.push_back(0x28);  // 8 attribute bits, top row first
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int k = 0; k < 4; ++k) b.push_back(channel(x, y, k));
    return b;
}

void run(benchmark::State &state, const char *name, const std::vector<uint8_t> &bytes) {
    Plugin plugin(name);
    if (plugin.pixs == nullptr || plugin.load == nullptr) {
        state.SkipWithError("plug-in not found");
        return;
    }
    const TempFile file(bytes);
    int32_t w = 0, h = 0;
    if (plugin.pixs(file.path.c_str(), 0, &w, &h) != kWidth * kHeight) {
        state.SkipWithError("file refused");
        return;
    }
    // The host clears the image before loading, which also maps its pages.
    kvzatest::ImagePtr image = kvzatest::make_image(w, h);
    const KvzaPixel clear = {0, 0, 0, 0};
    kvza_clr(image.get(), &clear, nullptr);
    for (auto _ : state) {
        plugin.pixs(file.path.c_str(), 0, &w, &h);
        if (plugin.load(image.get(), file.path.c_str(), 0, nullptr) != 0) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(image->pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}

void BM_KinbmpLoad24Bit4000x3000(benchmark::State &state) {
    run(state, "kinbmp", bmp24());
}
void BM_KintgaLoad32Bit4000x3000(benchmark::State &state) {
    run(state, "kintga", tga32());
}

}  // namespace

BENCHMARK(BM_KinbmpLoad24Bit4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KintgaLoad32Bit4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();
