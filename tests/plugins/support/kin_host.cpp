#include "kin_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kintest {

Reader::Reader(const std::string &folder, const std::string &name) {
    const std::string path = folder + "/" + name + ".so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *e = dlerror();
        error_ = e != nullptr ? e : "dlopen failed";
        return;
    }
    imgs = reinterpret_cast<KinImgsFunc>(dlsym(handle_, "kin_imgs"));
    pixs = reinterpret_cast<KinPixsFunc>(dlsym(handle_, "kin_pixs"));
    load = reinterpret_cast<KinLoadFunc>(dlsym(handle_, "kin_load"));
    if (!ok()) error_ = "an export is missing in " + path;
}

Reader::~Reader() {
    if (handle_ != nullptr) dlclose(handle_);
}

TempFile::TempFile(const std::vector<uint8_t> &bytes) {
    // Many small files are written: memory-backed storage keeps that fast.
    const char *dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(dir) + "/kinXXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd >= 0) {
        close(fd);
        path_ = tmpl;
    }
    write(bytes);
}

TempFile::~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
}

void TempFile::write(const std::vector<uint8_t> &bytes) const {
    std::FILE *f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Opened open(const Reader &reader, const char *path, int32_t offset, KvzaProgress *progress) {
    Opened o;
    o.pixels = reader.pixs(path, offset, &o.width, &o.height);
    if (o.pixels <= 0) return o;
    o.image = kvzatest::make_image(o.width, o.height);
    if (!o.image) return o;
    const KvzaPixel clear = {0, 0, 0, 0};
    kvza_clr(o.image.get(), &clear, nullptr);
    o.status = reader.load(o.image.get(), path, offset, progress);
    return o;
}

Opened open(const Reader &reader, const std::vector<uint8_t> &bytes, int32_t offset,
            KvzaProgress *progress) {
    TempFile file(bytes);
    return open(reader, file.path(), offset, progress);
}

int32_t load_into(const Reader &reader, const std::vector<uint8_t> &bytes, int32_t width,
                  int32_t height, kvzatest::ImagePtr &image, int32_t offset, uint8_t wrap,
                  KvzaProgress *progress) {
    TempFile file(bytes);
    image = kvzatest::make_image(width, height);
    image->wrapx = wrap;
    image->wrapy = wrap;
    return reader.load(image.get(), file.path(), offset, progress);
}

KvzaPixel kvz(float r, float g, float b, float a) {
    const KvzaPixel rgb = {r, g, b, 0.0f};
    KvzaPixel out;
    kvza_rgb2kvz(&out, &rgb);
    out.a = a;
    return out;
}

KvzaPixel kvz8(int r, int g, int b, float a) {
    const float k = 1.0f / 255.0f;
    return kvz(static_cast<float>(r) * k, static_cast<float>(g) * k, static_cast<float>(b) * k, a);
}

int32_t ProgressLog::callback(void *userdata, uint32_t done, uint32_t total) {
    auto *log = static_cast<ProgressLog *>(userdata);
    log->calls.emplace_back(done, total);
    return log->stop_at_call != 0 && log->calls.size() == log->stop_at_call ? 1 : 0;
}

KvzaProgress ProgressLog::record(uint32_t interval) {
    KvzaProgress p{};
    p.callback = &ProgressLog::callback;
    p.userdata = this;
    p.interval = interval;
    return p;
}

}  // namespace kintest
