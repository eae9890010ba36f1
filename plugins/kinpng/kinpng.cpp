// kinpng - reader plug-in for PNG files: every colour type and bit depth,
// interlaced or not, with transparency from tRNS. The file is read once into
// a buffer that libspng parses within its bounds (png_decode.h).
#include <cstdint>

#include "kin.h"
#include "kvza.h"
#include "png_decode.h"
#include "png_file.h"

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    kinpng::FileBytes bytes;
    uint32_t width = 0, height = 0;
    return bytes.read(path, offset) && kinpng::png_size(bytes, width, height) ? 1 : 0;
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    kinpng::FileBytes bytes;
    uint32_t w = 0, h = 0;
    if (!bytes.read(path, offset) || !kinpng::png_size(bytes, w, h)) return 0;
    // A count that does not fit the 32-bit result is refused.
    const uint64_t count = static_cast<uint64_t>(w) * h;
    if (count > INT32_MAX) return 0;
    if (width != nullptr) *width = static_cast<int32_t>(w);
    if (height != nullptr) *height = static_cast<int32_t>(h);
    return static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    kinpng::FileBytes bytes;
    if (!bytes.read(path, offset)) return KIN_FAILED;
    return kinpng::png_load(image, bytes, progress);
}

}  // extern "C"
