// The BMP module of the wide reader: every header size in use (12, 16, 40,
// 52, 56, 64, 108, 124 bytes), bit fields with an alpha mask, run-length
// encoded 4- and 8-bit data, short colour tables and top-down rows.
//
// The header is checked against the file before the host allocates the
// image: uncompressed rows must lie in the file, and run-length data must be
// long enough to fill the image at 255 pixels per 2 bytes.
#include <cstdint>

#include "bitmap_rows.h"
#include "wide_formats.h"

namespace kinwide {

namespace {

using kincommon::Buffer;
using kincommon::Channel;
using kincommon::File;
using kincommon::le16;
using kincommon::le32;
using kincommon::les32;
using kincommon::Masks;
using kincommon::Rows;

constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kShortOs2Header = 16;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kRgbMasksHeader = 52;   // red, green, blue masks in the header
constexpr uint32_t kRgbaMasksHeader = 56;  // and the alpha mask
constexpr uint32_t kOs2Header = 64;
constexpr uint32_t kV4Header = 108;
constexpr uint32_t kV5Header = 124;
constexpr uint64_t kRunPixelsPer2Bytes = 255;

enum class Compression : uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    AlphaBitFields = 6
};

bool known_header(uint32_t size) {
    switch (size) {
        case kCoreHeader:
        case kShortOs2Header:
        case kInfoHeader:
        case kRgbMasksHeader:
        case kRgbaMasksHeader:
        case kOs2Header:
        case kV4Header:
        case kV5Header:
            return true;
        default:
            return false;
    }
}

// Everything the header says, checked against the file.
struct Layout {
    Rows rows;  // start: file position (from offset) of the pixel data
    Compression compression = Compression::Rgb;
    Masks masks;
    uint64_t table_pos = 0;  // colour table position (from offset)
    uint32_t entries = 0;    // colour table entries read
    uint32_t entry_bytes = 4;
    int16_t pixtype = 0;
};

// Reads the header at offset into layout; false when the module does not
// decode the file or the file cannot hold what the header describes.
bool read_layout(File &file, int64_t offset, Layout &l) {
    const int64_t remaining = kincommon::bytes_from(file, offset);
    uint8_t h[kFileHeader + kV5Header] = {};
    if (remaining < kFileHeader + 4 || !file.read_at(offset, h, kFileHeader + 4)) return false;
    const uint32_t data_pos = le32(h + 10);
    const uint32_t header_size = le32(h + 14);
    if (!known_header(header_size)) return false;
    if (!file.read_at(offset + kFileHeader + 4, h + kFileHeader + 4, header_size - 4)) return false;
    const uint8_t *p = h + kFileHeader;
    int64_t width, height;
    uint32_t compression = 0, used = 0;
    if (header_size == kCoreHeader) {
        width = static_cast<int16_t>(le16(p + 4));
        height = static_cast<int16_t>(le16(p + 6));
        l.rows.bpp = le16(p + 10);
        l.entry_bytes = 3;
    } else {
        width = les32(p + 4);
        height = les32(p + 8);
        l.rows.bpp = le16(p + 14);
        if (header_size >= kInfoHeader) {
            compression = le32(p + 16);
            used = le32(p + 32);
        }
    }
    if (width < 0 || height == INT32_MIN) return false;
    l.rows.top_down = height < 0;
    l.rows.width = static_cast<uint32_t>(width);
    l.rows.height = static_cast<uint32_t>(height < 0 ? -height : height);
    const uint16_t bpp = l.rows.bpp;
    const bool direct = bpp == 16 || bpp == 24 || bpp == 32;
    uint64_t after = kFileHeader + static_cast<uint64_t>(header_size);

    // Bit-field masks: inside headers of 52 bytes and more, else after it.
    uint32_t mask_words[4] = {};
    const bool fields = compression == static_cast<uint32_t>(Compression::BitFields) ||
                        compression == static_cast<uint32_t>(Compression::AlphaBitFields);
    if (header_size >= kRgbMasksHeader && header_size != kOs2Header) {
        for (int i = 0; i < 4; ++i) mask_words[i] = le32(p + 40 + 4 * i);
        if (header_size < kRgbaMasksHeader) mask_words[3] = 0;
    } else if (fields) {
        const int n = compression == static_cast<uint32_t>(Compression::AlphaBitFields) ? 4 : 3;
        uint8_t m[16];
        if (!file.read_at(offset + static_cast<int64_t>(after), m, 4U * n)) return false;
        for (int i = 0; i < n; ++i) mask_words[i] = le32(m + 4 * i);
        after += 4U * n;
    }

    const uint32_t full = kincommon::palette_entries(bpp);
    switch (compression) {
        case static_cast<uint32_t>(Compression::Rgb):
            if (full != 0) {
                l.pixtype = bpp == 1 ? 202 : bpp == 4 ? 212 : 41;
            } else if (direct) {
                l.masks = kincommon::fixed_masks(bpp);
                // A version 4 or 5 header may give 32-bit data an alpha byte.
                if (bpp == 32 && header_size >= kV4Header && mask_words[3] != 0)
                    l.masks.alpha = Channel(mask_words[3]);
            } else {
                return false;
            }
            break;
        case static_cast<uint32_t>(Compression::BitFields):
        case static_cast<uint32_t>(Compression::AlphaBitFields):
            if (!direct || header_size == kOs2Header) return false;
            l.masks = {Channel(mask_words[0]), Channel(mask_words[1]), Channel(mask_words[2]),
                       Channel(mask_words[3])};
            break;
        case static_cast<uint32_t>(Compression::Rle8):
        case static_cast<uint32_t>(Compression::Rle4):
            if (bpp != (compression == static_cast<uint32_t>(Compression::Rle8) ? 8 : 4))
                return false;
            if (l.rows.top_down) return false;  // run-length rows are bottom-up only
            l.pixtype = bpp == 8 ? 41 : 212;
            break;
        default:
            return false;
    }
    l.compression = static_cast<Compression>(compression);
    if (full == 0 && l.pixtype == 0) {
        l.pixtype = bpp == 32 && l.masks.alpha.bits == 8 && l.masks.red.bits == 8 &&
                            l.masks.green.bits == 8 && l.masks.blue.bits == 8
                        ? 21  // RGB 24bit(+8bit alpha)
                        : kincommon::pixtype_of(bpp, l.masks);
    }

    // A short table (colours used) is read as far as it goes.
    l.entries = used != 0 && used < full ? used : full;
    l.table_pos = after;
    if (l.table_pos + static_cast<uint64_t>(l.entries) * l.entry_bytes >
        static_cast<uint64_t>(remaining))
        return false;

    if (data_pos >= static_cast<uint64_t>(remaining) && l.rows.width != 0 && l.rows.height != 0)
        return false;
    l.rows.start = data_pos;
    const uint64_t data_bytes = data_pos < static_cast<uint64_t>(remaining)
                                    ? static_cast<uint64_t>(remaining) - data_pos
                                    : 0;
    const uint64_t pixels = uint64_t{l.rows.width} * l.rows.height;
    if (l.compression == Compression::Rle8 || l.compression == Compression::Rle4)
        return pixels <= data_bytes / 2 * kRunPixelsPer2Bytes;
    if (pixels == 0) return true;
    const uint64_t last_row = (uint64_t{bpp} * l.rows.width + 7) / 8;
    return (uint64_t{l.rows.height} - 1) * kincommon::row_stride(bpp, l.rows.width) + last_row <=
           data_bytes;
}

// Run-length decoding of 8- or 4-bit indices, bottom row first. Pixels not
// written (skipped by a delta, left by an early end of line or bitmap) keep
// the cleared image's transparent black.
class RunDecoder {
  public:
    RunDecoder(KvzaImage *image, const Layout &l, KvzaProgress *progress)
        : image_(image),
          rows_(l.rows),
          four_(l.compression == Compression::Rle4),
          progress_(progress) {}

    // 0 done, 1 data ended early or ran past a row or the image, 2 cancelled.
    int32_t run(const uint8_t *data, uint64_t size) {
        uint64_t i = 0;
        while (true) {
            if (size - i < 2) return row_ >= rows_.height ? KIN_OK : KIN_FAILED;
            const uint32_t count = data[i], value = data[i + 1];
            i += 2;
            if (count != 0) {
                for (uint32_t k = 0; k < count; ++k) {
                    const uint32_t index = !four_ ? value : k % 2 == 0 ? value >> 4 : value & 15U;
                    if (const int32_t s = store(index); s != KIN_OK) return s;
                }
            } else if (value == 0) {  // end of line
                x_ = 0;
                ++row_;
            } else if (value == 1) {  // end of bitmap
                return KIN_OK;
            } else if (value == 2) {  // delta: right, then up
                if (size - i < 2) return KIN_FAILED;
                x_ += data[i];
                row_ += data[i + 1];
                i += 2;
                if (x_ > rows_.width || (row_ >= rows_.height && (x_ > 0 || row_ > rows_.height)))
                    return KIN_FAILED;
            } else {  // an absolute run of value indices, padded to 2 bytes
                const uint64_t bytes = four_ ? (value + 1U) / 2 : value;
                const uint64_t padded = (bytes + 1) / 2 * 2;
                if (size - i < bytes) return KIN_FAILED;
                for (uint32_t k = 0; k < value; ++k) {
                    const uint8_t b = data[i + (four_ ? k / 2 : k)];
                    const uint32_t index = !four_ ? b : k % 2 == 0 ? b >> 4 : b & 15U;
                    if (const int32_t s = store(index); s != KIN_OK) return s;
                }
                i += padded < size - i ? padded : size - i;
            }
        }
    }

  private:
    int32_t store(uint32_t index) {
        if (row_ >= rows_.height || x_ >= rows_.width) return KIN_FAILED;
        const int32_t y = static_cast<int32_t>(rows_.height - 1 - row_);
        *kvza_getpixptr(image_, static_cast<int32_t>(x_), y) = image_->palette[index];
        ++x_;
        return kvza_progress_count(image_, progress_) != 0 ? KIN_CANCELED : KIN_OK;
    }

    KvzaImage *image_;
    const Rows &rows_;
    bool four_;
    KvzaProgress *progress_;
    uint32_t x_ = 0;
    uint32_t row_ = 0;
};

}  // namespace

bool bmp_size(File &file, int64_t offset, Size &size) {
    Layout l;
    if (!read_layout(file, offset, l)) return false;
    size.width = l.rows.width;
    size.height = l.rows.height;
    return true;
}

int32_t bmp_load(KvzaImage *image, File &file, int64_t offset, KvzaProgress *progress) {
    Layout l;
    if (!read_layout(file, offset, l)) return KIN_FAILED;
    Buffer buf;
    const int64_t remaining = kincommon::bytes_from(file, offset);
    if (!buf.allocate(static_cast<uint64_t>(remaining))) return KIN_FAILED;
    if (!file.read_at(offset, buf.data(), buf.size())) return KIN_FAILED;

    // Indices past a short table keep the cleared entry: transparent black.
    if (l.entries != 0 &&
        !kincommon::read_palette(image, buf, l.table_pos, l.entries, l.entry_bytes))
        return KIN_FAILED;

    kvza_progress_setup(image, progress);
    int32_t status;
    if (l.compression == Compression::Rle8 || l.compression == Compression::Rle4) {
        const uint64_t start = l.rows.start < buf.size() ? l.rows.start : buf.size();
        status = RunDecoder(image, l, progress).run(buf.data() + start, buf.size() - start);
    } else {
        status = kincommon::decode_rows(image, buf, l.rows, l.masks, progress);
    }
    kvza_progress_final(image, progress);
    image->pixtype = l.pixtype;
    return status;
}

}  // namespace kinwide
