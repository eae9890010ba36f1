// Bottom-up row packers shared by the BMP and ICO writers.
#include <new>
#include <vector>

#include "index_stream.h"
#include "row_blocks.h"
#include "writer_common.h"

namespace kot {

namespace {

constexpr uint8_t kZeros[4] = {0, 0, 0, 0};

bool usable_image(const KvzaImage *image) {
    return image != nullptr && image->width > 0 && image->height > 0;
}

bool packable_bits(uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}

// Zero bytes after `written` row bytes up to the next multiple of 4.
bool write_row_padding(FileWriter &out, uint64_t written) {
    const std::size_t pad = static_cast<std::size_t>((4 - written % 4) % 4);
    return out.write(kZeros, pad);
}

// Packs value(pixel, x, y) (an integer of `bits` bits) into bytes, leftmost
// pixel in the most significant bits, a row at a time; the row's bytes go
// out through write_units, one progress step per byte (with 8 bits, one per
// pixel), so the callbacks and the stop point are those of byte by byte.
template <class Value>
int32_t pack_rows(FileWriter &out, KvzaImage *image, KvzaProgress *progress, uint32_t bits,
                  Value value) {
    const int32_t width = image->width;
    const uint32_t per_byte = 8 / bits;
    const uint32_t mask = (uint32_t{1} << bits) - 1;
    const uint64_t row_bytes = (uint64_t{bits} * static_cast<uint32_t>(width) + 7) / 8;
    std::vector<uint8_t> row;
    try {
        row.resize(row_bytes);
    } catch (const std::bad_alloc &) {
        return KOT_FAILED;
    }
    for (int32_t y = image->height - 1; y >= 0; --y) {
        int32_t x = 0;
        for (uint8_t &unit : row) {
            uint32_t byte = 0;
            for (uint32_t k = 0; k < per_byte; ++k) {
                byte <<= bits;
                if (x < width) {
                    const KvzaPixel *pixel = kvza_getpixptr(image, x, y);
                    byte |= static_cast<uint32_t>(value(pixel, x, y)) & mask;
                    ++x;
                }
            }
            unit = static_cast<uint8_t>(byte);
        }
        const int32_t status = write_units(out, row.data(), row_bytes, 1, image, progress);
        if (status != KOT_OK) return status;
        if (!write_row_padding(out, row_bytes)) return KOT_FAILED;
    }
    return KOT_OK;
}

// Keeps a channel value inside 0..1 (NaN becomes 0) so that its quantised
// value fits the field it is packed into.
float unit_range(float v) {
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

}  // namespace

int32_t pack_index_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                        KvzaProgress *progress, uint32_t bits) {
    if (!usable_image(image) || options == nullptr || !packable_bits(bits)) return KOT_FAILED;
    // Matching dominates an index save, so the indices are found a batch
    // ahead (partly on a second thread); pack_rows asks for them in the same
    // order, one per pixel, and does every write and progress step itself.
    try {
        IndexStream indices(image, uint32_t{1} << bits,
                            static_cast<uint32_t>(dither_level(options)));
        return pack_rows(out, image, progress, bits,
                         [&](const KvzaPixel *, int32_t, int32_t) { return indices.next(); });
    } catch (const std::bad_alloc &) {
        return KOT_FAILED;  // no room for the batch of indices
    }
}

int32_t pack_grey_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                       KvzaProgress *progress, uint32_t bits) {
    if (!usable_image(image) || options == nullptr || !packable_bits(bits)) return KOT_FAILED;
    const int32_t level = dither_level(options);
    return pack_rows(out, image, progress, bits, [&](const KvzaPixel *pixel, int32_t x, int32_t y) {
        const float grey = (pixel->w + 1.0f) * 0.5f;
        return quantize_level(static_cast<int32_t>(bits), x, y, level, unit_range(grey));
    });
}

int32_t pack_alpha_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                        KvzaProgress *progress, uint32_t bits) {
    if (!usable_image(image) || options == nullptr || !packable_bits(bits)) return KOT_FAILED;
    const int32_t level = dither_level(options);
    return pack_rows(out, image, progress, bits, [&](const KvzaPixel *pixel, int32_t x, int32_t y) {
        return quantize_level(static_cast<int32_t>(bits), x, y, level, unit_range(pixel->a));
    });
}

int32_t pack_rgb_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                      KvzaProgress *progress, int32_t id) {
    const RgbLayout *layout = find_rgb_layout(id);
    if (!usable_image(image) || options == nullptr || layout == nullptr) return KOT_FAILED;
    // A pixel's word depends on the pixel and its place alone: blocks of rows
    // are encoded on all cores ahead of the writes.
    return write_rows(out, image, progress, RowFormat{layout->bytes, true},
                      [&](int32_t y, int32_t x0, uint32_t n, uint8_t *unit) {
                          encode_rgb_run(*layout, image, options, y, x0, n, unit);
                      });
}

}  // namespace kot
