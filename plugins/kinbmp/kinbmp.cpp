// kinbmp - reader plug-in for device-independent bitmaps (core and info
// headers, uncompressed and bit fields, 1 to 32 bits per pixel) and for the
// first image of icon files.
//
// Every size and position is computed in 64 bits and every byte is checked
// against the buffer it comes from before it is read, so no file, however
// broken, makes the reader touch memory outside its buffers or the image.
#include <cstdint>
#include <cstdlib>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace {

using kincommon::Buffer;
using kincommon::bytes_from;
using kincommon::File;
using kincommon::kByteScale;
using kincommon::le16;
using kincommon::le32;
using kincommon::les32;

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

// ---- colour masks and pixel types ----------------------------------------

// One channel's mask, prepared for extraction.
struct Channel {
    uint32_t mask = 0;
    int bits = 0;            // set bits of the mask
    int shift = 0;           // lowest set bit, for a contiguous mask
    bool contiguous = true;  // the set bits form one run
    double levels = 0;       // 2^bits - 1

    explicit Channel(uint32_t m = 0) : mask(m) {
        for (uint32_t v = m; v != 0; v &= v - 1) ++bits;
        if (m != 0) {
            while (((m >> shift) & 1U) == 0) ++shift;
            const uint64_t run = (static_cast<uint64_t>(m) >> shift) + 1;
            contiguous = (run & (run - 1)) == 0;
        }
        levels = static_cast<double>((uint64_t{1} << bits) - 1);
    }

    // The bits of v under the mask, gathered with the lowest set bit as bit 0.
    uint32_t gather(uint32_t v) const {
        if (contiguous) return (v & mask) >> shift;
        uint32_t gathered = 0;
        int out = 0;
        for (uint32_t m = mask; m != 0; m &= m - 1, ++out)
            if ((v & m & (~m + 1)) != 0) gathered |= 1U << out;
        return gathered;
    }

    // The gathered bits over 2^bits - 1, rounded to single precision. An
    // empty mask gives 0.
    float scale(uint32_t gathered) const {
        if (bits == 0) return 0.0f;
        return static_cast<float>(static_cast<double>(gathered) / levels);
    }
};

// A channel with its values precomputed when it has at most 16 bits and the
// data holds more pixels than the channel has levels, so that decoding
// divides once per level instead of once per pixel.
class ChannelReader {
  public:
    ChannelReader(const Channel &c, uint64_t pixels) : channel_(c) {
        if (c.bits == 0 || c.bits > 16) return;
        const uint32_t n = 1U << c.bits;
        if (pixels <= n) return;
        table_ = static_cast<float *>(std::malloc(n * sizeof(float)));
        if (table_ == nullptr) return;  // fall back to dividing per pixel
        for (uint32_t i = 0; i < n; ++i) table_[i] = c.scale(i);
    }
    ~ChannelReader() { std::free(table_); }
    ChannelReader(const ChannelReader &) = delete;
    ChannelReader &operator=(const ChannelReader &) = delete;

    float value(uint32_t v) const {
        const uint32_t g = channel_.gather(v);
        return table_ != nullptr ? table_[g] : channel_.scale(g);
    }

  private:
    const Channel &channel_;
    float *table_ = nullptr;
};

struct Masks {
    Channel red, green, blue;
};

Masks fixed_masks(uint16_t bpp) {
    if (bpp == 16) return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
    return {Channel(0xFF0000), Channel(0xFF00), Channel(0xFF)};
}

// Pixel-type id of a 16-, 24- or 32-bit layout, from its channel bit counts.
int16_t pixtype_of(uint16_t bpp, const Masks &m) {
    const int r = m.red.bits, g = m.green.bits, b = m.blue.bits;
    if (bpp == 16) {
        if (r == 16 && g == 16 && b == 16) return 81;  // Grayscale 16bit
        if (r == 4 && g == 4 && b == 4) return 30;     // RGB 12bit(+4bit dummy)
        if (r == 5 && g == 5 && b == 5) return 24;     // RGB 15bit(+1bit dummy)
        if (r == 5 && g == 6 && b == 5) return 23;     // RGB 16bit
    } else if (bpp == 24) {
        if (r == 8 && g == 8 && b == 8) return 20;  // RGB 24bit
    } else if (bpp == 32) {
        if (r == 8 && g == 8 && b == 8) return 22;      // RGB 24bit(+8bit dummy)
        if (r == 10 && g == 10 && b == 10) return 190;  // RGB 30bit(+2bit dummy)
        if (r == 11 && g == 11 && b == 10) return 191;  // RGB 32bit
    }
    return 0;
}

uint32_t palette_entries(uint16_t bpp) {
    switch (bpp) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

// Converts a colour table of entry_bytes-sized blue, green, red entries at
// buffer position pos into the image's palette. False when it does not fit.
bool read_palette(KvzaImage *image, const Buffer &buf, uint64_t pos, uint32_t entries,
                  uint32_t entry_bytes) {
    if (pos > buf.size() || static_cast<uint64_t>(entries) * entry_bytes > buf.size() - pos)
        return false;
    const uint8_t *p = buf.data() + pos;
    for (uint32_t i = 0; i < entries; ++i, p += entry_bytes) {
        const KvzaPixel rgb = {p[2] * kByteScale, p[1] * kByteScale, p[0] * kByteScale, 0.0f};
        kvza_rgb2kvz(&image->palette[i], &rgb);
        image->palette[i].a = 1.0f;
    }
    return true;
}

// ---- pixel rows ----------------------------------------------------------

// Bytes of one row padded to a multiple of 4.
uint64_t row_stride(uint16_t bpp, uint32_t width) {
    return (static_cast<uint64_t>(bpp) * width + 31) / 32 * 4;
}

// A bitmap's pixel data inside a buffer.
struct Rows {
    uint64_t start = 0;  // buffer position of stored row 0
    uint32_t width = 0;
    uint32_t height = 0;
    bool top_down = false;
    uint16_t bpp = 0;
};

int32_t image_row(const Rows &r, uint32_t i) {
    return static_cast<int32_t>(r.top_down ? i : r.height - 1 - i);
}

// Decodes the rows into the image; 0 done, 1 data short, 2 cancelled.
int32_t decode_rows(KvzaImage *image, const Buffer &buf, const Rows &r, const Masks &masks,
                    KvzaProgress *progress) {
    if (r.width == 0) return KIN_OK;  // rows without pixels: nothing to read or store
    const uint8_t *data = buf.data();
    const uint64_t size = buf.size();
    const uint64_t stride = row_stride(r.bpp, r.width);
    const uint32_t per_byte = r.bpp < 8 ? 8U / r.bpp : 1U;
    // Pixels the buffer can hold at most, for the choice of channel tables.
    const uint64_t most = r.bpp >= 16 ? size / (r.bpp / 8U) : 0;
    const ChannelReader red(masks.red, most), green(masks.green, most), blue(masks.blue, most);
    uint64_t row = r.start;
    bool cancel = false;
    for (uint32_t i = 0; i < r.height; ++i, row += stride) {
        const int32_t y = image_row(r, i);
        for (uint32_t x = 0; x < r.width; ++x) {
            KvzaPixel *dst = kvza_getpixptr(image, static_cast<int32_t>(x), y);
            if (r.bpp < 16) {
                const uint64_t pos = row + x / per_byte;
                if (pos >= size) return KIN_FAILED;
                uint32_t index = data[pos];
                if (r.bpp == 1) index = (index >> (7 - x % 8)) & 1U;
                if (r.bpp == 4) index = (x % 2 == 0) ? index >> 4 : index & 15U;
                *dst = image->palette[index];
            } else {
                const uint64_t bytes = r.bpp / 8U;
                const uint64_t pos = row + x * bytes;
                if (pos >= size || bytes > size - pos) return KIN_FAILED;
                const uint8_t *p = data + pos;
                uint32_t v;
                if (r.bpp == 16)
                    v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(le16(p))));
                else if (r.bpp == 24)
                    v = p[0] | (static_cast<uint32_t>(p[1]) << 8) |
                        (static_cast<uint32_t>(p[2]) << 16);
                else
                    v = le32(p);
                const KvzaPixel rgb = {red.value(v), green.value(v), blue.value(v), 0.0f};
                kvza_rgb2kvz(dst, &rgb);
                dst->a = 1.0f;
            }
            // Every stored pixel is counted; after a stop request the rest of
            // the current byte is still stored (and counted).
            if (kvza_progress_count(image, progress) != 0) cancel = true;
            if (cancel && (x % per_byte == per_byte - 1 || x + 1 == r.width)) return KIN_CANCELED;
        }
    }
    return KIN_OK;
}

// Makes the pixels under set bits of the icon's 1-bit mask transparent.
int32_t apply_mask(KvzaImage *image, const Buffer &buf, const Rows &colour) {
    Rows r = colour;
    r.start =
        colour.start + static_cast<uint64_t>(colour.height) * row_stride(colour.bpp, colour.width);
    r.bpp = 1;
    const uint64_t stride = row_stride(1, r.width);
    uint64_t row = r.start;
    for (uint32_t i = 0; i < r.height; ++i, row += stride) {
        const int32_t y = image_row(r, i);
        for (uint32_t x = 0; x < r.width; ++x) {
            const uint64_t pos = row + x / 8;
            if (pos >= buf.size()) return KIN_FAILED;
            if (((buf.data()[pos] >> (7 - x % 8)) & 1U) != 0)
                kvza_getpixptr(image, static_cast<int32_t>(x), y)->a = 0.0f;
        }
    }
    return KIN_OK;
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
        masks = {Channel(le32(m)), Channel(le32(m + 4)), Channel(le32(m + 8))};
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
