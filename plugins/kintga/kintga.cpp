// kintga - reader plug-in for uncompressed TGA files: colour-mapped (8- and
// 16-bit indices), true colour (16, 24, 32 bits) and grey (8 to 32 bits).
// Run-length encoded files are refused.
//
// The header check computes the data size in 64 bits and compares it with
// the file before anything is decoded, so decoding never runs out of data.
// The pixels are decoded by the TGA pixel rules shared with the wide reader.
#include <cstdint>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"
#include "tga_pixels.h"

namespace {

using kincommon::Buffer;
using kincommon::bytes_from;
using kincommon::File;
using kincommon::kTgaHeaderBytes;
using kincommon::TgaHeader;
using kincommon::TgaKind;

// Colour map plus pixel data: for types 2 and 3 the map fields are not
// consulted and the pixels follow the ID field.
uint64_t data_bytes(const TgaHeader &h) {
    const uint64_t map = h.kind == TgaKind::Mapped ? h.map_bytes() : 0;
    return h.pixel_count() * h.pixel_bytes() + map;
}

// The header check shared by the three exports: types 1, 2 and 3, any of
// the four depths, and all the data inside the file.
bool read_header(File &file, int32_t offset, TgaHeader &h) {
    const int64_t remaining = bytes_from(file, offset);
    if (remaining < kTgaHeaderBytes || !kincommon::read_tga_header(file, offset, h)) return false;
    if (h.id_length > remaining - kTgaHeaderBytes) return false;
    if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) return false;
    if (h.kind == TgaKind::Unknown || h.run_length) return false;
    if (h.kind == TgaKind::Mapped && h.entry_bits != 16 && h.entry_bits != 24 && h.entry_bits != 32)
        return false;
    return data_bytes(h) <= static_cast<uint64_t>(remaining - kTgaHeaderBytes - h.id_length);
}

}  // namespace

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    File file(path);
    TgaHeader h;
    return read_header(file, offset, h) ? 1 : 0;
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    File file(path);
    TgaHeader h;
    if (!read_header(file, offset, h)) return 0;
    if (width != nullptr) *width = h.width;
    if (height != nullptr) *height = h.height;
    // A count that does not fit the 32-bit result is refused.
    const uint64_t count = h.pixel_count();
    return count > INT32_MAX ? 0 : static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    File file(path);
    TgaHeader h;
    if (!read_header(file, offset, h)) return KIN_FAILED;

    Buffer buf;
    if (!buf.allocate(data_bytes(h)) ||
        !file.read_at(static_cast<int64_t>(offset) + kTgaHeaderBytes + h.id_length, buf.data(),
                      buf.size()))
        return KIN_FAILED;
    kincommon::TgaPixels pixels(image, h, kincommon::read_tga_alpha(file, offset), buf.data(),
                                progress);
    // Index pixels are 8 or 16 bits; true colour has no 8-bit layout. Such a
    // file is refused in the decoding step, between the progress set-up and
    // the final report.
    const bool supported = kincommon::tga_layout_supported(h);
    if (supported && h.kind == TgaKind::Mapped) pixels.set_palette();
    kvza_progress_setup(image, progress);
    const int32_t status =
        supported ? pixels.put_all(buf.data() + (h.kind == TgaKind::Mapped ? h.map_bytes() : 0))
                  : KIN_FAILED;
    kvza_progress_final(image, progress);
    return status;
}

}  // extern "C"
