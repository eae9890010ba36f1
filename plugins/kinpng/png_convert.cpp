// Sample values to pixels. Channel values: an 8-bit sample b is b times the
// float nearest 1/255, as in the BMP reader, so that the same colours read
// from either format are the same pixels; a 16-bit sample v is v / 65535 and
// a 1-, 2- or 4-bit sample k is k / (2^depth - 1), each rounded to single
// precision. Samples are taken as stored: no gamma or colour-space chunk is
// applied.
#include "png_convert.h"

#include <cstring>

namespace kinpng {

namespace {

constexpr float kByteScale = 1.0f / 255.0f;  // the float nearest 1/255

float unit8(uint32_t b) {
    return static_cast<float>(b) * kByteScale;
}
float unit16(uint32_t v) {
    return static_cast<float>(v / 65535.0);
}
float unit_low(uint32_t k, uint32_t depth) {
    return static_cast<float>(k / ((1U << depth) - 1.0));
}

KvzaPixel kvz(float r, float g, float b, float a) {
    const KvzaPixel rgb = {r, g, b, 0.0f};
    KvzaPixel out;
    kvza_rgb2kvz(&out, &rgb);
    out.a = a;
    return out;
}

// A 16-bit sample of a decoded scanline: big-endian, as the file stores it.
uint32_t sample16(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

// Sample k of a row packed at depth bits (1, 2, 4, 8), most significant first.
uint32_t packed_sample(const uint8_t *row, uint32_t k, uint32_t depth) {
    if (depth == 8) return row[k];
    const uint32_t bit = k * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1U << depth) - 1);
}

}  // namespace

RowConverter::RowConverter(const Format &format, const KvzaPixel *palette) : format_(format) {
    const bool grey = format.colour == ColourType::kGrey;
    if (format.colour == ColourType::kPalette) {
        table_.assign(palette, palette + KVZA_PALETTE_ENTRIES);
        table_entries_ = format.palette.n_entries;
    } else if (grey && format.depth <= 8) {
        const uint32_t n = 1U << format.depth;
        const bool key = format.has_key();
        table_.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            const float g = format.depth == 8 ? unit8(k) : unit_low(k, format.depth);
            table_[k] = kvz(g, g, g, key && k == format.trns.gray ? 0.0f : 1.0f);
        }
        table_entries_ = n;
    } else {
        pixel_bytes_ = format.channels() * format.depth / 8;
    }
}

uint32_t RowConverter::convert(const uint8_t *samples, uint32_t count, KvzaPixel *out) const {
    if (!table_.empty()) return convert_indexed(samples, count, out);
    convert_direct(samples, count, out);
    return count;
}

uint32_t RowConverter::convert_indexed(const uint8_t *samples, uint32_t count,
                                       KvzaPixel *out) const {
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t v = packed_sample(samples, k, format_.depth);
        if (v >= table_entries_) return k;
        out[k] = table_[v];
    }
    return count;
}

void RowConverter::convert_direct(const uint8_t *samples, uint32_t count, KvzaPixel *out) const {
    const uint8_t *p = samples;
    for (uint32_t k = 0; k < count; ++k, p += pixel_bytes_) {
        // A pixel equal to its left neighbour repeats its result.
        if (k > 0 && std::memcmp(p, p - pixel_bytes_, pixel_bytes_) == 0)
            out[k] = out[k - 1];
        else
            out[k] = direct_pixel(p);
    }
}

KvzaPixel RowConverter::direct_pixel(const uint8_t *p) const {
    const bool deep = format_.depth == 16;
    auto sample = [&](uint32_t i) { return deep ? sample16(p + 2 * i) : p[i]; };
    auto unit = [&](uint32_t v) { return deep ? unit16(v) : unit8(v); };
    switch (format_.colour) {
        case ColourType::kGrey: {  // 16-bit only: lower depths use the table
            const uint32_t g = sample(0);
            const bool keyed = format_.has_key() && g == format_.trns.gray;
            return kvz(unit(g), unit(g), unit(g), keyed ? 0.0f : 1.0f);
        }
        case ColourType::kGreyAlpha: {
            const float g = unit(sample(0));
            return kvz(g, g, g, unit(sample(1)));
        }
        case ColourType::kRgb: {
            const uint32_t r = sample(0), g = sample(1), b = sample(2);
            const bool keyed = format_.has_key() && r == format_.trns.red &&
                               g == format_.trns.green && b == format_.trns.blue;
            return kvz(unit(r), unit(g), unit(b), keyed ? 0.0f : 1.0f);
        }
        default:  // RGBA
            return kvz(unit(sample(0)), unit(sample(1)), unit(sample(2)), unit(sample(3)));
    }
}

void write_palette(KvzaImage *image, const Format &f) {
    for (uint32_t i = 0; i < f.palette.n_entries && i < KVZA_PALETTE_ENTRIES; ++i) {
        const spng_plte_entry &e = f.palette.entries[i];
        const bool listed = f.has_trns && i < f.trns.n_type3_entries;
        image->palette[i] = kvz(unit8(e.red), unit8(e.green), unit8(e.blue),
                                listed ? unit8(f.trns.type3_alpha[i]) : 1.0f);
    }
}

}  // namespace kinpng
