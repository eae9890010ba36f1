// libFuzzer target for one reader plug-in: each input is written to a file
// and read through kin_imgs, kin_pixs and kin_load of the loaded plug-in, at
// offset 0 and 128, into a record of the reported size (when small) and into
// a small record whose wrap modes come from the input.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kin.h"
#include "kvza.h"

namespace {

KinImgsFunc imgs;
KinPixsFunc pixs;
KinLoadFunc load;
std::string path;

struct Block {
    KvzaImage *image;
    Block(int32_t w, int32_t h) {
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        image = static_cast<KvzaImage *>(std::calloc(1, KVZA_HEADER_BYTES + n * sizeof(KvzaPixel)));
        if (image == nullptr) std::abort();
        image->width = w;
        image->height = h;
    }
    ~Block() { std::free(image); }
};

int32_t stop_after(void *userdata, uint32_t, uint32_t) {
    auto *left = static_cast<uint32_t *>(userdata);
    if (*left == 0) return 1;
    --*left;
    return 0;
}

void read_at(int32_t offset, const uint8_t *data, size_t size) {
    imgs(path.c_str(), offset);
    int32_t w = 0, h = 0;
    const int32_t count = pixs(path.c_str(), offset, &w, &h);
    if (count > 0 && count <= (1 << 16) && w > 0 && h > 0) {
        Block block(w, h);
        load(block.image, path.c_str(), offset, nullptr);
    }
    // A small record: writes for positions outside it go through the wrap modes.
    Block small(3, 2);
    const uint8_t mode = size > 0 ? data[size - 1] : 0;
    small.image->wrapx = mode & 3;
    small.image->wrapy = (mode >> 2) & 3;
    uint32_t left = mode >> 4;
    KvzaProgress progress{};
    progress.callback = stop_after;
    progress.userdata = &left;
    load(small.image, path.c_str(), offset, (mode & 0x40) != 0 ? &progress : nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const std::string lib = std::string(KIN_PLUGIN_DIR) + "/" + KIN_PLUGIN_NAME + ".so";
    void *handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", lib.c_str(), dlerror());
        std::exit(1);
    }
    imgs = reinterpret_cast<KinImgsFunc>(dlsym(handle, "kin_imgs"));
    pixs = reinterpret_cast<KinPixsFunc>(dlsym(handle, "kin_pixs"));
    load = reinterpret_cast<KinLoadFunc>(dlsym(handle, "kin_load"));
    if (imgs == nullptr || pixs == nullptr || load == nullptr) {
        std::fprintf(stderr, "%s lacks an export\n", lib.c_str());
        std::exit(1);
    }
    const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(dir) + "/kinfuzzXXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) std::exit(1);
    close(fd);
    path = tmpl;
    std::atexit([] { std::remove(path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    read_at(0, data, size);
    if (size > 128) read_at(128, data, size);
    return 0;
}
