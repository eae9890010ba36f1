// kintga - reader plug-in for uncompressed TGA files: colour-mapped (8- and
// 16-bit indices), true colour (16, 24, 32 bits) and grey (8 to 32 bits).
// Run-length encoded files are refused.
//
// The header check computes the data size in 64 bits and compares it with
// the file before anything is decoded, so decoding never runs out of data.
#include <cstdint>
#include <cstdlib>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace {

using kincommon::File;
using kincommon::kByteScale;
using kincommon::le16;

constexpr int64_t kHeaderBytes = 18;
constexpr float kFiveBitScale = 1.0f / 31.0f;

enum ImageType : uint8_t { kColourMapped = 1, kTrueColour = 2, kGrey = 3 };

// The accepted header and the sizes derived from it.
struct Header {
    uint8_t id_length = 0;
    uint8_t type = 0;
    uint16_t first_index = 0;  // index value of colour map entry 0
    uint16_t map_length = 0;
    uint8_t entry_bits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 0;
    uint8_t attribute_bits = 0;  // descriptor bits 0-3
    bool top_down = false;       // descriptor bit 5
    uint64_t map_bytes = 0;      // colour map bytes (type 1 only)
    uint64_t data_bytes = 0;     // colour map plus pixel data
};

// The header check shared by the three exports.
bool read_header(File &file, int32_t offset, Header &h) {
    if (!file.ok() || offset < 0 || offset > file.size()) return false;
    const int64_t remaining = file.size() - offset;
    uint8_t b[kHeaderBytes];
    if (remaining < kHeaderBytes || !file.read_at(offset, b, sizeof b)) return false;
    h.id_length = b[0];
    h.type = b[2];
    h.first_index = le16(b + 3);
    h.map_length = le16(b + 5);
    h.entry_bits = b[7];
    h.width = le16(b + 12);
    h.height = le16(b + 14);
    h.depth = b[16];
    h.attribute_bits = b[17] & 0x0F;
    h.top_down = (b[17] & 0x20) != 0;
    if (h.id_length > remaining - kHeaderBytes) return false;
    if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) return false;
    if (h.type == kColourMapped) {
        if (h.entry_bits != 16 && h.entry_bits != 24 && h.entry_bits != 32) return false;
        h.map_bytes = static_cast<uint64_t>(h.map_length) * (h.entry_bits / 8U);
    } else if (h.type != kTrueColour && h.type != kGrey) {
        return false;
    }
    h.data_bytes = static_cast<uint64_t>(h.width) * h.height * (h.depth / 8U) + h.map_bytes;
    return h.data_bytes <= static_cast<uint64_t>(remaining - kHeaderBytes - h.id_length);
}

// Colour conversions. Each returns the RGBA record (alpha in the fourth float).
struct Colour {
    uint8_t attribute_bits;
    float alpha_scale;  // 1 / (2^b - 1)
    uint32_t alpha_mask;

    explicit Colour(uint8_t b)
        : attribute_bits(b),
          alpha_scale(b != 0 ? 1.0f / static_cast<float>((1U << b) - 1U) : 1.0f),
          alpha_mask((1U << b) - 1U) {}

    // 5-5-5 value; bit 15 is the alpha bit when attribute bits are declared.
    KvzaPixel from16(uint16_t v) const {
        return {static_cast<float>((v >> 10) & 31U) * kFiveBitScale,
                static_cast<float>((v >> 5) & 31U) * kFiveBitScale,
                static_cast<float>(v & 31U) * kFiveBitScale,
                attribute_bits == 0 || (v & 0x8000U) != 0 ? 1.0f : 0.0f};
    }
    // Blue, green, red.
    static KvzaPixel from24(const uint8_t *p) {
        return {p[2] * kByteScale, p[1] * kByteScale, p[0] * kByteScale, 1.0f};
    }
    // Blue, green, red, alpha; the alpha byte counts only with attribute bits.
    KvzaPixel from32(const uint8_t *p) const {
        KvzaPixel px = from24(p);
        if (attribute_bits != 0) px.a = static_cast<float>(p[3] & alpha_mask) * alpha_scale;
        return px;
    }
    // A colour map entry or pixel of the given size.
    KvzaPixel convert(const uint8_t *p, uint8_t bits) const {
        if (bits == 16) return from16(le16(p));
        if (bits == 24) return from24(p);
        return from32(p);
    }
};

// Stores an RGBA colour into the pixel in KVZ form.
void store_rgba(KvzaPixel *dst, const KvzaPixel &rgba) {
    kvza_rgb2kvz(dst, &rgba);
    dst->a = rgba.a;
}

// Decodes the pixel data at data; 0 done, 2 cancelled.
int32_t decode(KvzaImage *image, const Header &h, const uint8_t *map, const uint8_t *data,
               KvzaProgress *progress) {
    const Colour colour(h.attribute_bits);
    const uint64_t bytes = h.depth / 8U;
    const uint64_t entry_bytes = h.entry_bits / 8U;
    // Grey scale: w = v x k - 1, so 0 is black and the largest value white.
    const float grey_scale = h.depth == 8    ? 2.0f / 255.0f
                             : h.depth == 16 ? 2.0f / 65535.0f
                             : h.depth == 24 ? static_cast<float>(2.0 / 16777215.0)
                                             : 1.0f / 2147483648.0f;
    const KvzaPixel clear = {0.0f, 0.0f, 0.0f, 0.0f};
    const uint8_t *p = data;
    for (uint32_t i = 0; i < h.height; ++i) {
        const int32_t y = static_cast<int32_t>(h.top_down ? i : h.height - 1U - i);
        for (uint32_t x = 0; x < h.width; ++x, p += bytes) {
            KvzaPixel *dst = kvza_getpixptr(image, static_cast<int32_t>(x), y);
            if (h.type == kColourMapped) {
                const uint32_t n = h.depth == 8 ? p[0] : le16(p);
                if (n < h.first_index) {
                    *dst = clear;
                } else {
                    const uint32_t t = n - h.first_index;
                    if (t <= 255)
                        *dst = image->palette[t];
                    else if (t < h.map_length)
                        store_rgba(dst, colour.convert(map + t * entry_bytes, h.entry_bits));
                    else
                        *dst = clear;
                }
            } else if (h.type == kTrueColour) {
                store_rgba(dst, colour.convert(p, h.depth));
            } else {
                uint32_t v = p[0];
                if (h.depth >= 16) v |= static_cast<uint32_t>(p[1]) << 8;
                if (h.depth >= 24) v |= static_cast<uint32_t>(p[2]) << 16;
                if (h.depth >= 32) v |= static_cast<uint32_t>(p[3]) << 24;
                // Worked out in double and rounded once, so all 32 bits of v count.
                const double w = static_cast<double>(v) * grey_scale - 1.0;
                *dst = {0.0f, 0.0f, static_cast<float>(w), 1.0f};
            }
            if (kvza_progress_count(image, progress) != 0) return KIN_CANCELED;
        }
    }
    return KIN_OK;
}

}  // namespace

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    File file(path);
    Header h;
    return read_header(file, offset, h) ? 1 : 0;
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    File file(path);
    Header h;
    if (!read_header(file, offset, h)) return 0;
    if (width != nullptr) *width = h.width;
    if (height != nullptr) *height = h.height;
    // A count that does not fit the 32-bit result is refused.
    const uint64_t count = static_cast<uint64_t>(h.width) * h.height;
    return count > INT32_MAX ? 0 : static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    File file(path);
    Header h;
    if (!read_header(file, offset, h)) return KIN_FAILED;

    if (h.data_bytes > SIZE_MAX) return KIN_FAILED;
    auto *buf = static_cast<uint8_t *>(std::malloc(h.data_bytes == 0 ? 1 : h.data_bytes));
    if (buf == nullptr) return KIN_FAILED;
    int32_t status = KIN_FAILED;
    if (file.read_at(static_cast<int64_t>(offset) + kHeaderBytes + h.id_length, buf,
                     h.data_bytes)) {
        const uint8_t *map = buf;
        // Index pixels are 8 or 16 bits; true colour has no 8-bit layout. Such
        // a file is refused in the decoding step, between the progress
        // set-up and the final report.
        const bool supported =
            !((h.type == kColourMapped && h.depth > 16) || (h.type == kTrueColour && h.depth == 8));
        if (supported && h.type == kColourMapped) {
            const Colour colour(h.attribute_bits);
            const uint32_t entries = h.map_length < 256 ? h.map_length : 256;
            for (uint32_t i = 0; i < entries; ++i) {
                const KvzaPixel rgba = colour.convert(map + i * (h.entry_bits / 8U), h.entry_bits);
                kvza_rgba2kvza(&image->palette[i], &rgba);
            }
        }
        kvza_progress_setup(image, progress);
        status = supported ? decode(image, h, map, buf + h.map_bytes, progress) : KIN_FAILED;
        kvza_progress_final(image, progress);
    }
    std::free(buf);
    return status;
}

}  // extern "C"
