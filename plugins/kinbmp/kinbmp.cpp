// kinbmp - reader plug-in for device-independent bitmaps (core and info
// headers, uncompressed and bit fields, 1 to 32 bits per pixel) and for the
// first image of icon files.
//
// Every size and position is computed in 64 bits and every byte is checked
// against the buffer it comes from before it is read, so no file, however
// broken, makes the reader touch memory outside its buffers or the image.
#include <cstdint>
#include <cstdlib>

#include "bitmap_rows.h"
#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace {

using kincommon::apply_mask;
using kincommon::Buffer;
using kincommon::bytes_from;
using kincommon::Channel;
using kincommon::decode_rows;
using kincommon::File;
using kincommon::fixed_masks;
using kincommon::le16;
using kincommon::le32;
using kincommon::les32;
using kincommon::Masks;
using kincommon::palette_entries;
using kincommon::pixtype_of;
using kincommon::read_palette;
using kincommon::Rows;
using kvza::kByteToFloat;

constexpr uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr uint16_t kIconSignature = 0;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kBitFields = 3;
constexpr uint64_t kIconEntryBytes = 16;

bool read_signature(File &file, int32_t offset, uint16_t &signature) {
    uint8_t b[2];
    if (!file.read_at(offset, b, 2)) return false;
    signature = le16(b);
    return true;
}

// ---- headers -----------------------------------------------------------

// What the bitmap header says.
struct BitmapHeader {
    uint32_t data_pos = 0;     // row 0 of the pixel data, counted from offset
    uint32_t header_size = 0;  // 12 or 40
    uint32_t width = 0;
    uint32_t height = 0;  // absolute value
    bool top_down = false;
    uint16_t bpp = 0;
    uint32_t compression = 0;
};

// Reads the 16 bytes after the signature and the rest of a 12- or 40-byte
// header. Refuses other sizes, a negative width and a height of -2^31.
bool read_bitmap_header(File &file, int32_t offset, BitmapHeader &h) {
    uint8_t fixed[16];
    if (!file.read_at(static_cast<int64_t>(offset) + 2, fixed, sizeof fixed)) return false;
    h.data_pos = le32(fixed + 8);
    h.header_size = le32(fixed + 12);
    if (h.header_size != kCoreHeader && h.header_size != kInfoHeader) return false;
    uint8_t rest[kInfoHeader - 4];
    if (!file.read_at(static_cast<int64_t>(offset) + 18, rest, h.header_size - 4)) return false;
    int64_t width, height;
    if (h.header_size == kCoreHeader) {
        width = static_cast<int16_t>(le16(rest));
        height = static_cast<int16_t>(le16(rest + 2));
        h.bpp = le16(rest + 6);
        h.compression = 0;
    } else {
        width = les32(rest);
        height = les32(rest + 4);
        h.bpp = le16(rest + 10);
        h.compression = le32(rest + 12);
    }
    if (width < 0) return false;
    // The absolute value of -2^31 does not fit a 32-bit size.
    if (height == INT32_MIN) return false;
    h.top_down = height < 0;
    h.width = static_cast<uint32_t>(width);
    h.height = static_cast<uint32_t>(height < 0 ? -height : height);
    return true;
}

// The first directory entry of an icon file.
struct IconEntry {
    uint8_t width = 0;
    uint8_t height = 0;
    uint32_t bytes = 0;     // bytes in resource
    uint32_t position = 0;  // image position, counted from offset
};

// Checks the directory against the file and reads its first entry.
bool read_icon_entry(File &file, int32_t offset, IconEntry &entry, uint16_t *type = nullptr,
                     uint16_t *count = nullptr) {
    const int64_t remaining = bytes_from(file, offset);
    uint8_t head[4];
    if (remaining < 6 || !file.read_at(static_cast<int64_t>(offset) + 2, head, 4)) return false;
    const uint64_t n = le16(head + 2);
    if (static_cast<uint64_t>(remaining - 6) < n * kIconEntryBytes) return false;
    uint8_t e[kIconEntryBytes];
    if (!file.read_at(static_cast<int64_t>(offset) + 6, e, sizeof e)) return false;
    entry.width = e[0];
    entry.height = e[1];
    entry.bytes = le32(e + 8);
    entry.position = le32(e + 12);
    if (static_cast<uint64_t>(entry.position) + entry.bytes > static_cast<uint64_t>(remaining))
        return false;
    if (type != nullptr) *type = le16(head);
    if (count != nullptr) *count = static_cast<uint16_t>(n);
    return true;
}

// ---- the two load paths --------------------------------------------------

int32_t load_bitmap(KvzaImage *image, File &file, int32_t offset, KvzaProgress *progress) {
    BitmapHeader h;
    if (!read_bitmap_header(file, offset, h)) return KIN_FAILED;

    // Everything from offset + 2 to the end of the file, in one request.
    const int64_t remaining = bytes_from(file, offset) - 2;
    Buffer buf;
    if (remaining < 0 || !buf.allocate(static_cast<uint64_t>(remaining))) return KIN_FAILED;
    if (!file.read_at(static_cast<int64_t>(offset) + 2, buf.data(), buf.size())) return KIN_FAILED;

    // Buffer position of file position p (counted from offset) is p - 2.
    const uint64_t after_header = 14 + static_cast<uint64_t>(h.header_size) - 2;
    uint32_t entries = 0;
    int16_t pixtype = 0;
    Masks masks;
    if (h.compression == 0) {
        entries = palette_entries(h.bpp);
        if (entries != 0) {
            pixtype = h.bpp == 1 ? 202 : h.bpp == 4 ? 212 : 41;
        } else if (h.bpp == 16 || h.bpp == 24 || h.bpp == 32) {
            masks = fixed_masks(h.bpp);
            pixtype = pixtype_of(h.bpp, masks);
        } else {
            return KIN_FAILED;
        }
    } else if (h.compression == kBitFields && (h.bpp == 16 || h.bpp == 24 || h.bpp == 32)) {
        if (after_header > buf.size() || buf.size() - after_header < 12) return KIN_FAILED;
        const uint8_t *m = buf.data() + after_header;
        masks = {Channel(le32(m)), Channel(le32(m + 4)), Channel(le32(m + 8)), Channel()};
        pixtype = pixtype_of(h.bpp, masks);
    } else {
        return KIN_FAILED;  // run-length encoded and unknown compressions
    }

    const uint32_t entry_bytes = h.header_size == kCoreHeader ? 3 : 4;
    if (entries != 0 && !read_palette(image, buf, after_header, entries, entry_bytes))
        return KIN_FAILED;

    // The pixel data must begin inside the bytes read.
    if (h.data_pos < 2 || h.data_pos - 2U >= buf.size()) return KIN_FAILED;
    Rows rows;
    rows.start = h.data_pos - 2U;
    rows.width = h.width;
    rows.height = h.height;
    rows.top_down = h.top_down;
    rows.bpp = h.bpp;

    kvza_progress_setup(image, progress);
    const int32_t status = decode_rows(image, buf, rows, masks, progress);
    kvza_progress_final(image, progress);
    if (status == KIN_OK) image->pixtype = pixtype;
    return status;
}

int32_t load_icon(KvzaImage *image, File &file, int32_t offset, KvzaProgress *progress) {
    IconEntry entry;
    if (!read_icon_entry(file, offset, entry)) return KIN_FAILED;

    const int64_t at = static_cast<int64_t>(offset) + entry.position;
    uint8_t h[kInfoHeader];
    if (!file.read_at(at, h, 4) || le32(h) != kInfoHeader) return KIN_FAILED;
    if (!file.read_at(at + 4, h + 4, kInfoHeader - 4)) return KIN_FAILED;
    const int32_t width = les32(h + 4);
    const int32_t height = les32(h + 8);
    const uint16_t bpp = le16(h + 14);
    if (width != entry.width || height == INT32_MIN) return KIN_FAILED;
    const uint32_t abs_height = static_cast<uint32_t>(height < 0 ? -height : height);
    const bool masked = abs_height == 2U * entry.height;
    if (abs_height != entry.height && !masked) return KIN_FAILED;
    const uint32_t entries = palette_entries(bpp);
    if (entries == 0 && bpp != 16 && bpp != 24 && bpp != 32) return KIN_FAILED;

    if (entry.bytes < kInfoHeader) return KIN_FAILED;
    Buffer buf;
    if (!buf.allocate(entry.bytes - kInfoHeader)) return KIN_FAILED;
    if (!file.read_at(at + kInfoHeader, buf.data(), buf.size())) return KIN_FAILED;
    if (entries != 0 && !read_palette(image, buf, 0, entries, 4)) return KIN_FAILED;

    Rows rows;
    rows.start = static_cast<uint64_t>(entries) * 4;
    rows.width = entry.width;
    rows.height = entry.height;
    rows.top_down = height < 0;
    rows.bpp = bpp;

    kvza_progress_setup(image, progress);
    int32_t status = decode_rows(image, buf, rows, fixed_masks(bpp), progress);
    kvza_progress_final(image, progress);
    if (status == KIN_OK && masked) status = apply_mask(image, buf, rows);
    return status;
}

}  // namespace

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    File file(path);
    const int64_t remaining = bytes_from(file, offset);
    uint16_t signature;
    if (remaining < 6 || !read_signature(file, offset, signature)) return 0;
    uint8_t b[4];
    if (!file.read_at(static_cast<int64_t>(offset) + 2, b, 4)) return 0;
    if (signature == kBitmapSignature) return remaining >= le32(b) ? 1 : 0;
    if (signature == kIconSignature) {
        const uint64_t count = le16(b + 2);
        if (le16(b) != 1 || static_cast<uint64_t>(remaining - 6) < count * kIconEntryBytes)
            return 0;
        return static_cast<int32_t>(count);
    }
    return 0;
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    File file(path);
    uint16_t signature;
    if (bytes_from(file, offset) < 0 || !read_signature(file, offset, signature)) return 0;
    uint64_t w, h;
    if (signature == kBitmapSignature) {
        BitmapHeader header;
        if (!read_bitmap_header(file, offset, header)) return 0;
        w = header.width;
        h = header.height;
    } else if (signature == kIconSignature) {
        IconEntry entry;
        if (!read_icon_entry(file, offset, entry)) return 0;
        w = entry.width;
        h = entry.height;
    } else {
        return 0;
    }
    if (width != nullptr) *width = static_cast<int32_t>(w);
    if (height != nullptr) *height = static_cast<int32_t>(h);
    // A count that does not fit the 32-bit result is refused.
    const uint64_t count = w * h;
    return count > INT32_MAX ? 0 : static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    File file(path);
    uint16_t signature;
    if (bytes_from(file, offset) < 0 || !read_signature(file, offset, signature)) return KIN_FAILED;
    if (signature == kIconSignature) return load_icon(image, file, offset, progress);
    if (signature == kBitmapSignature) return load_bitmap(image, file, offset, progress);
    return KIN_FAILED;
}

}  // extern "C"
