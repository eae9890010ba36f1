// The icon and cursor module of the wide reader. Of the directory's entries
// it decodes the largest, and among equal sizes the deepest. 32-bit entries
// keep their alpha bytes (the 1-bit mask is used only when every alpha byte
// is 0); the other depths take their transparency from the 1-bit mask.
// Entries compressed as PNG files are decoded by the PNG reader's decoding,
// at the size their own header gives.
#include <algorithm>
#include <cstdint>

#include "bitmap_rows.h"
#include "png_decode.h"
#include "png_file.h"
#include "wide_formats.h"

namespace kinwide {

namespace {

using kincommon::be32;
using kincommon::Buffer;
using kincommon::File;
using kincommon::le16;
using kincommon::le32;
using kincommon::les32;

constexpr uint64_t kDirectoryBytes = 6;
constexpr uint64_t kEntryBytes = 16;
constexpr uint32_t kInfoHeader = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct Entry {
    uint32_t width = 0;  // a size byte of 0 means 256
    uint32_t height = 0;
    uint32_t depth = 0;  // bits per pixel of the stored image
    uint32_t bytes = 0;
    uint32_t position = 0;  // counted from offset
    bool png = false;
};

// Bits per pixel of a PNG entry from its IHDR chunk; 0 when it has none.
uint32_t png_depth(const uint8_t *p, uint32_t bytes) {
    if (bytes < 26 || le32(p + 12) != 0x52444849) return 0;  // "IHDR"
    const uint32_t bits = p[24];
    switch (p[25]) {
        case 0:
        case 3:
            return bits;
        case 2:
            return 3 * bits;
        case 4:
            return 2 * bits;
        case 6:
            return 4 * bits;
        default:
            return 0;
    }
}

// Reads the entry's size and depth from the directory and its image header.
bool read_entry(File &file, int64_t offset, int64_t remaining, uint32_t i, Entry &e) {
    uint8_t d[kEntryBytes];
    if (!file.read_at(offset + static_cast<int64_t>(kDirectoryBytes + i * kEntryBytes), d,
                      sizeof d))
        return false;
    e.width = d[0] == 0 ? 256 : d[0];
    e.height = d[1] == 0 ? 256 : d[1];
    e.bytes = le32(d + 8);
    e.position = le32(d + 12);
    if (static_cast<uint64_t>(e.position) + e.bytes > static_cast<uint64_t>(remaining))
        return false;
    uint8_t h[kInfoHeader];
    if (e.bytes < 26 || !file.read_at(offset + e.position, h, 26)) return false;
    e.png = std::equal(kPngSignature, kPngSignature + 8, h);
    if (e.png) {
        e.depth = png_depth(h, e.bytes);
        e.width = be32(h + 16);
        e.height = be32(h + 20);
        return e.depth != 0;
    }
    if (le32(h) != kInfoHeader || e.bytes < kInfoHeader) return false;
    e.depth = le16(h + 14);
    return true;
}

// The entry to decode: the largest, then the deepest; the first of equals.
bool choose_entry(File &file, int64_t offset, Entry &chosen, uint32_t *images) {
    const int64_t remaining = kincommon::bytes_from(file, offset);
    uint8_t head[kDirectoryBytes];
    if (remaining < static_cast<int64_t>(kDirectoryBytes) || !file.read_at(offset, head, 6))
        return false;
    const uint32_t type = le16(head + 2), count = le16(head + 4);
    if (le16(head) != 0 || (type != 1 && type != 2) || count == 0) return false;
    if (static_cast<uint64_t>(remaining) - kDirectoryBytes < uint64_t{count} * kEntryBytes)
        return false;
    bool found = false;
    for (uint32_t i = 0; i < count; ++i) {
        Entry e;
        if (!read_entry(file, offset, remaining, i, e)) return false;
        const uint64_t area = uint64_t{e.width} * e.height,
                       best = uint64_t{chosen.width} * chosen.height;
        if (!found || area > best || (area == best && e.depth > chosen.depth)) chosen = e;
        found = true;
    }
    if (images != nullptr) *images = count;
    return found;
}

// Decodes a bitmap entry: header, colour table, colour rows, 1-bit mask.
int32_t load_bitmap_entry(KvzaImage *image, File &file, int64_t offset, const Entry &e,
                          KvzaProgress *progress) {
    Buffer buf;
    if (!buf.allocate(e.bytes) || !file.read_at(offset + e.position, buf.data(), buf.size()))
        return KIN_FAILED;
    const uint8_t *h = buf.data();
    const int32_t width = les32(h + 4), height = les32(h + 8);
    const uint16_t bpp = le16(h + 14);
    if (le32(h + 16) != 0 || height == INT32_MIN || width < 0) return KIN_FAILED;
    const uint32_t abs_height = static_cast<uint32_t>(height < 0 ? -height : height);
    if (static_cast<uint32_t>(width) != e.width) return KIN_FAILED;
    const bool masked = abs_height == 2U * e.height;
    if (abs_height != e.height && !masked) return KIN_FAILED;
    const uint32_t full = kincommon::palette_entries(bpp);
    if (full == 0 && bpp != 16 && bpp != 24 && bpp != 32) return KIN_FAILED;
    const uint32_t used = le32(h + 32);
    const uint32_t entries = used != 0 && used < full ? used : full;
    if (entries != 0 && !kincommon::read_palette(image, buf, kInfoHeader, entries, 4))
        return KIN_FAILED;

    kincommon::Rows rows;
    rows.start = kInfoHeader + uint64_t{entries} * 4;
    rows.width = e.width;
    rows.height = e.height;
    rows.top_down = height < 0;
    rows.bpp = bpp;
    kincommon::Masks masks = kincommon::fixed_masks(bpp);
    if (bpp == 32) masks.alpha = kincommon::Channel(0xFF000000);

    kvza_progress_setup(image, progress);
    int32_t status = kincommon::decode_rows(image, buf, rows, masks, progress);
    kvza_progress_final(image, progress);
    if (status != KIN_OK) return status;
    bool any_alpha = false;
    if (bpp == 32) {
        for (uint32_t y = 0; y < e.height && !any_alpha; ++y)
            for (uint32_t x = 0; x < e.width && !any_alpha; ++x)
                any_alpha =
                    kvza_getpixptr(image, static_cast<int32_t>(x), static_cast<int32_t>(y))->a !=
                    0.0f;
        if (any_alpha) {
            image->pixtype = 21;  // RGB 24bit(+8bit alpha)
            return KIN_OK;
        }
        for (uint32_t y = 0; y < e.height; ++y)
            for (uint32_t x = 0; x < e.width; ++x)
                kvza_getpixptr(image, static_cast<int32_t>(x), static_cast<int32_t>(y))->a = 1.0f;
    }
    if (masked) status = kincommon::apply_mask(image, buf, rows);
    return status;
}

// The bytes of a PNG entry, a whole PNG file.
bool read_png_entry(File &file, int64_t offset, const Entry &e, kinpng::FileBytes &bytes) {
    return bytes.read(file, offset + e.position, e.bytes);
}

}  // namespace

bool ico_size(File &file, int64_t offset, Size &size, uint32_t *images) {
    Entry e;
    if (!choose_entry(file, offset, e, images)) return false;
    if (e.png) {
        // Accepted only when the PNG reader accepts the whole entry.
        kinpng::FileBytes bytes;
        return read_png_entry(file, offset, e, bytes) &&
               kinpng::png_size(bytes, size.width, size.height);
    }
    size.width = e.width;
    size.height = e.height;
    return true;
}

int32_t ico_load(KvzaImage *image, File &file, int64_t offset, KvzaProgress *progress) {
    Entry e;
    if (!choose_entry(file, offset, e, nullptr)) return KIN_FAILED;
    if (e.png) {
        kinpng::FileBytes bytes;
        if (!read_png_entry(file, offset, e, bytes)) return KIN_FAILED;
        return kinpng::png_load(image, bytes, progress);
    }
    return load_bitmap_entry(image, file, offset, e, progress);
}

}  // namespace kinwide
