// kinwide - reader plug-in for the later forms of BMP, ICO/CUR and TGA files.
// The first bytes choose the module: "BM" a bitmap, a directory header with
// type 1 or 2 an icon or cursor, anything else is tried as TGA (a format
// without a signature, whose header check is strict). A true-colour TGA
// without an ID field also begins like a cursor directory (00 00 02 00):
// what the icon module refuses is tried as TGA too.
#include <cstdint>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"
#include "wide_formats.h"

namespace {

using kincommon::File;

enum class Format { None, Bitmap, Icon, Targa };

Format format_of(File &file, int32_t offset) {
    uint8_t b[4];
    if (offset < 0 || !file.read_at(offset, b, 2)) return Format::None;
    if (b[0] == 'B' && b[1] == 'M') return Format::Bitmap;
    if (file.read_at(offset, b, 4) && kincommon::le16(b) == 0 &&
        (kincommon::le16(b + 2) == 1 || kincommon::le16(b + 2) == 2))
        return Format::Icon;
    return Format::Targa;
}

// The size of the image at offset; false when no module accepts the file.
bool size_of(File &file, int32_t offset, kinwide::Size &size, uint32_t *images = nullptr) {
    switch (format_of(file, offset)) {
        case Format::Bitmap:
            if (images != nullptr) *images = 1;
            return kinwide::bmp_size(file, offset, size);
        case Format::Icon:
            if (kinwide::ico_size(file, offset, size, images)) return true;
            if (images != nullptr) *images = 1;
            return kinwide::tga_size(file, offset, size);
        case Format::Targa:
            if (images != nullptr) *images = 1;
            return kinwide::tga_size(file, offset, size);
        default:
            return false;
    }
}

}  // namespace

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    File file(path);
    kinwide::Size size;
    uint32_t images = 0;
    if (!size_of(file, offset, size, &images)) return 0;
    return images > INT32_MAX ? INT32_MAX : static_cast<int32_t>(images);
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    File file(path);
    kinwide::Size size;
    if (!size_of(file, offset, size)) return 0;
    const uint64_t count = uint64_t{size.width} * size.height;
    // A side or a count that does not fit the 32-bit results is refused.
    if (size.width > INT32_MAX || size.height > INT32_MAX || count > INT32_MAX) return 0;
    if (width != nullptr) *width = static_cast<int32_t>(size.width);
    if (height != nullptr) *height = static_cast<int32_t>(size.height);
    return static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    File file(path);
    switch (format_of(file, offset)) {
        case Format::Bitmap:
            return kinwide::bmp_load(image, file, offset, progress);
        case Format::Icon: {
            kinwide::Size size;
            if (kinwide::ico_size(file, offset, size))
                return kinwide::ico_load(image, file, offset, progress);
            return kinwide::tga_load(image, file, offset, progress);
        }
        case Format::Targa:
            return kinwide::tga_load(image, file, offset, progress);
        default:
            return KIN_FAILED;
    }
}

}  // extern "C"
