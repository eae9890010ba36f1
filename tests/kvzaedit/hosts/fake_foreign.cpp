// A foreign reader for the host tests. The data it is handed is a record the
// test builds:
//   bytes 0..7   "FAKEPIC1"
//   bytes 8..11  result of GetPicture (int32)
//   bytes 12..15 flags: bit 0 leaves the header handle unset, bit 1 the bits
//                handle; bit 2 hands the header handle back for the bits too
//                (uint32)
//   bytes 16..19 length of the header block, 20..23 of the bits block
//   then the header block's bytes and the bits block's bytes.
// IsSupported answers whether "FAKEPIC1" is at the pointer it gets. Calls
// are logged to "<file>.log": "supported <0|1>" and "get len=<n> flag=<f>
// progress=<0|1> ldata=<n>".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "localmem.h"

#define FAKE_API __attribute__((visibility("default")))

namespace {

// The file named by IsSupported; GetPicture follows in the same load.
char g_file[4096];

void Log(const std::string &line) {
    if (g_file[0] == '\0') return;
    const std::string log = std::string(g_file) + ".log";
    std::FILE *f = std::fopen(log.c_str(), "ab");
    if (f == nullptr) return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

[[maybe_unused]] uint32_t U32(const char *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

[[maybe_unused]] HLOCAL Block(const char *bytes, uint32_t length) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE, length);
    if (h != nullptr && length > 0) {
        std::memcpy(LocalLock(h), bytes, length);
        LocalUnlock(h);
    }
    return h;
}

}  // namespace

extern "C" {

#ifdef FAKE_WITH_KIN_PIXS
FAKE_API int32_t kin_pixs(const char *, int32_t, int32_t *width, int32_t *height) {
    if (width != nullptr) *width = 1;
    if (height != nullptr) *height = 1;
    return 1;
}
#endif

#ifndef FAKE_OMIT_GETPLUGININFO
FAKE_API int GetPluginInfo(int infono, char *buf, int buflen) {
    if (infono != 0 || buf == nullptr || buflen < 5) return 0;
    std::memcpy(buf, "00IN", 5);
    return 4;
}
#endif

FAKE_API int IsSupported(const char *filename, const void *data) {
    std::snprintf(g_file, sizeof g_file, "%s", filename != nullptr ? filename : "");
    const int yes = data != nullptr && std::memcmp(data, "FAKEPIC1", 8) == 0;
    Log(std::string("supported ") + (yes ? "1" : "0"));
    return yes;
}

#ifndef FAKE_OMIT_GETPICTUREINFO
FAKE_API int GetPictureInfo(const char *, long, unsigned, void *) {
    return -1;
}
#endif

#ifndef FAKE_OMIT_GETPICTURE
FAKE_API int GetPicture(const char *data, long len, unsigned flag, HLOCAL *info, HLOCAL *bits,
                        void *progress, long ldata) {
    Log("get len=" + std::to_string(len) + " flag=" + std::to_string(flag) +
        " progress=" + (progress != nullptr ? "1" : "0") + " ldata=" + std::to_string(ldata));
    if (len < 24 || std::memcmp(data, "FAKEPIC1", 8) != 0) return 2;
    const int32_t result = static_cast<int32_t>(U32(data + 8));
    const uint32_t flags = U32(data + 12);
    const uint32_t info_len = U32(data + 16);
    const uint32_t bits_len = U32(data + 20);
    if (static_cast<uint64_t>(len) < 24ull + info_len + bits_len) return 3;
    if ((flags & 1) == 0) *info = Block(data + 24, info_len);
    if ((flags & 2) == 0) *bits = Block(data + 24 + info_len, bits_len);
    if ((flags & 4) != 0) *bits = *info;  // one block for both
    return result;
}
#endif

}  // extern "C"
