// A reader plug-in for the host tests. Its answers come from the file it is
// asked about, a text of words "name=value":
//   imgs0, imgs128  result of kin_imgs at offset 0 / 128 (default 1 / 0)
//   pixs0, pixs128  result of kin_pixs at offset 0 / 128 (default 1 / 0)
//   w, h            the size kin_pixs stores (default 2 x 1)
//   load            status of kin_load (default 0)
// Every call is appended to "<file>.log" as a line: "imgs <offset>",
// "pixs <offset>", or "load <offset> <width>x<height> clear=<0|1>
// progress=<0|1>". kin_load writes pixel (x, y) as (offset, x, y, 1) and sets
// pixtype 77. A path that names no regular file holds no image. A fake built with FAKE_KIN_TAG="t"
// also takes words "t.name=value", which override the plain ones, and starts its log lines with "t
// ".
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kin.h"

namespace {

// Text with this fake's tag and a "." in front, or empty for an untagged fake.
std::string Tagged(const std::string &text) {
#ifdef FAKE_KIN_TAG
    return std::string(FAKE_KIN_TAG) + "." + text;
#else
    (void)text;
    return {};
#endif
}

struct Script {
    int imgs0 = 1, imgs128 = 0, pixs0 = 1, pixs128 = 0, w = 2, h = 1, load = 0;
};

Script ReadScript(const char *path) {
    Script s;
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return s;
    char word[64];
    // Plain words first, then (in a second pass) those of this fake's tag.
    for (const std::string &pattern : {std::string("%63[a-z0-9]=%d"), Tagged("%63[a-z0-9]=%d")}) {
        if (pattern.empty()) continue;
        std::rewind(f);
        while (std::fscanf(f, "%63s", word) == 1) {
            int value = 0;
            char name[64];
            if (std::sscanf(word, pattern.c_str(), name, &value) != 2) continue;
            const std::string n = name;
            if (n == "imgs0") s.imgs0 = value;
            if (n == "imgs128") s.imgs128 = value;
            if (n == "pixs0") s.pixs0 = value;
            if (n == "pixs128") s.pixs128 = value;
            if (n == "w") s.w = value;
            if (n == "h") s.h = value;
            if (n == "load") s.load = value;
        }
    }
    std::fclose(f);
    return s;
}

bool IsFile(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

void Log(const char *path, const std::string &line) {
    const std::string log = std::string(path) + ".log";
    std::FILE *f = std::fopen(log.c_str(), "ab");
    if (f == nullptr) return;
#ifdef FAKE_KIN_TAG
    std::fprintf(f, "%s ", FAKE_KIN_TAG);
#endif
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

}  // namespace

extern "C" {

#ifdef FAKE_KIN_IMGS
KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    Log(path, "imgs " + std::to_string(offset));
    const Script s = ReadScript(path);
    if (!IsFile(path)) return 0;
    return offset == 0 ? s.imgs0 : offset == 128 ? s.imgs128 : 0;
}
#endif

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    Log(path, "pixs " + std::to_string(offset));
    const Script s = ReadScript(path);
    if (width != nullptr) *width = s.w;
    if (height != nullptr) *height = s.h;
    if (!IsFile(path)) return 0;
    return offset == 0 ? s.pixs0 : offset == 128 ? s.pixs128 : 0;
}

#ifdef FAKE_KIN_LOAD
KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    bool clear = true;
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            const KvzaPixel *p = kvza_getpixptr(image, x, y);
            if (p->c != 0.0f || p->s != 0.0f || p->w != 0.0f || p->a != 0.0f) clear = false;
        }
    }
    Log(path, "load " + std::to_string(offset) + " " + std::to_string(image->width) + "x" +
                  std::to_string(image->height) + " clear=" + (clear ? "1" : "0") +
                  " progress=" + (progress != nullptr ? "1" : "0"));
    const Script s = ReadScript(path);
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            *kvza_getpixptr(image, x, y) = KvzaPixel{
                static_cast<float>(offset), static_cast<float>(x), static_cast<float>(y), 1.0f};
        }
    }
    if (s.load == 0) image->pixtype = 77;
    return s.load;
}
#endif

}  // extern "C"
