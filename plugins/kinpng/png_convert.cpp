// Sample values to pixels. Channel values: an 8-bit sample b is b times the
// float nearest 1/255, as in the BMP reader, so that the same colours read
// from either format are the same pixels; a 16-bit sample v is v / 65535 and
// a 1-, 2- or 4-bit sample k is k / (2^depth - 1), each rounded to single
// precision. Samples are taken as stored: no gamma or colour-space chunk is
// applied.
#include "png_convert.h"

#include <cstring>

#include "byte_float.h"

namespace kinpng {

namespace {

float unit8(uint32_t b) {
    return static_cast<float>(b) * kvza::kByteToFloat;
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

// Converts a run of pixels of 8- or 16-bit samples; a pixel equal to its
// left neighbour repeats its result.
template <ColourType kColour, bool kDeep>
void convert_run(const uint8_t *samples, uint32_t count, KvzaPixel *out, const Key &key,
                 ColourCache &cache) {
    constexpr uint32_t n = kColour == ColourType::kGrey        ? 1
                           : kColour == ColourType::kGreyAlpha ? 2
                           : kColour == ColourType::kRgb       ? 3
                                                               : 4;
    constexpr uint32_t bytes = kDeep ? 2 * n : n;
    auto sample = [](const uint8_t *p, uint32_t i) -> uint32_t {
        if constexpr (kDeep) return sample16(p + 2 * i);
        return p[i];
    };
    auto unit = [](uint32_t v) {
        if constexpr (kDeep) return unit16(v);
        return unit8(v);
    };
    const uint8_t *p = samples;
    for (uint32_t k = 0; k < count; ++k, p += bytes) {
        if (k > 0 && std::memcmp(p, p - bytes, bytes) == 0) {
            out[k] = out[k - 1];
            continue;
        }
        const uint32_t v0 = sample(p, 0);
        if constexpr (n <= 2) {
            float a = key.on && v0 == key.value[0] ? 0.0f : 1.0f;
            if constexpr (n == 2) a = unit(sample(p, 1));
            out[k] = cache.get(v0, [&] { return kvz(unit(v0), unit(v0), unit(v0), 0.0f); });
            out[k].a = a;
        } else {
            const uint32_t v1 = sample(p, 1), v2 = sample(p, 2);
            float a = key.on && v0 == key.value[0] && v1 == key.value[1] && v2 == key.value[2]
                          ? 0.0f
                          : 1.0f;
            if constexpr (n == 4) a = unit(sample(p, 3));
            const uint64_t rgb = uint64_t{v0} | uint64_t{v1} << 16 | uint64_t{v2} << 32;
            out[k] = cache.get(rgb, [&] { return kvz(unit(v0), unit(v1), unit(v2), 0.0f); });
            out[k].a = a;
        }
    }
}

template <ColourType kColour>
RunFn run_for(bool deep) {
    return deep ? &convert_run<kColour, true> : &convert_run<kColour, false>;
}

}  // namespace

RowConverter::RowConverter(const Format &format, const KvzaPixel *palette) : format_(format) {
    const bool grey = format.colour == ColourType::kGrey;
    if (format.colour == ColourType::kPalette) {
        table_.assign(palette, palette + KVZA_PALETTE_ENTRIES);
        table_entries_ = format.palette.n_entries;
        return;
    }
    if (grey && format.depth <= 8) {
        const uint32_t n = 1U << format.depth;
        const bool key = format.has_key();
        table_.resize(n);
        for (uint32_t k = 0; k < n; ++k) {
            const float g = format.depth == 8 ? unit8(k) : unit_low(k, format.depth);
            table_[k] = kvz(g, g, g, key && k == format.trns.gray ? 0.0f : 1.0f);
        }
        table_entries_ = n;
        return;
    }
    const bool deep = format.depth == 16;
    key_.on = format.has_key();
    key_.value[0] = format.colour == ColourType::kGrey ? format.trns.gray : format.trns.red;
    key_.value[1] = format.trns.green;
    key_.value[2] = format.trns.blue;
    switch (format.colour) {
        case ColourType::kGrey:
            run_ = run_for<ColourType::kGrey>(deep);
            break;
        case ColourType::kGreyAlpha:
            run_ = run_for<ColourType::kGreyAlpha>(deep);
            break;
        case ColourType::kRgb:
            run_ = run_for<ColourType::kRgb>(deep);
            break;
        default:
            run_ = run_for<ColourType::kRgba>(deep);
    }
}

uint32_t RowConverter::convert(const uint8_t *samples, uint32_t count, KvzaPixel *out,
                               ColourCache &cache) const {
    if (!table_.empty()) return convert_indexed(samples, count, out);
    run_(samples, count, out, key_, cache);
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

void write_palette(KvzaImage *image, const Format &f) {
    for (uint32_t i = 0; i < f.palette.n_entries && i < KVZA_PALETTE_ENTRIES; ++i) {
        const spng_plte_entry &e = f.palette.entries[i];
        const bool listed = f.has_trns && i < f.trns.n_type3_entries;
        image->palette[i] = kvz(unit8(e.red), unit8(e.green), unit8(e.blue),
                                listed ? unit8(f.trns.type3_alpha[i]) : 1.0f);
    }
}

}  // namespace kinpng
