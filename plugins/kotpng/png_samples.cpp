// Samples of the PNG layouts: colour, grey and index rows.
#include "png_samples.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kotpng {

namespace {

constexpr PngLayout kLayouts[] = {
    {21, ColourType::Rgba, 8, KVZA_ALPHA_OPAQUE},
    {20, ColourType::Rgb, 8, KVZA_ALPHA_OPAQUE},
    {198, ColourType::Rgba, 16, KVZA_ALPHA_OPAQUE},
    {196, ColourType::Rgb, 16, KVZA_ALPHA_OPAQUE},
    {51, ColourType::GreyAlpha, 8, KVZA_ALPHA_OPAQUE},
    {50, ColourType::Grey, 8, KVZA_ALPHA_OPAQUE},
    {215, ColourType::GreyAlpha, 16, KVZA_ALPHA_OPAQUE},
    {81, ColourType::Grey, 16, KVZA_ALPHA_OPAQUE},
    {210, ColourType::Grey, 4, KVZA_ALPHA_OPAQUE},
    {205, ColourType::Grey, 2, KVZA_ALPHA_OPAQUE},
    {200, ColourType::Grey, 1, KVZA_ALPHA_OPAQUE},
    {40, ColourType::Indexed, 8, KVZA_ALPHA_FULL},  // palette alpha in tRNS
    {41, ColourType::Indexed, 8, KVZA_ALPHA_OPAQUE},
    {212, ColourType::Indexed, 4, KVZA_ALPHA_OPAQUE},
    {207, ColourType::Indexed, 2, KVZA_ALPHA_OPAQUE},
    {202, ColourType::Indexed, 1, KVZA_ALPHA_OPAQUE},
};

// Limits v to 0..1; NaN gives 0.
float unit(float v) {
    return !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// Grey of a pixel: whiteness -1..1 mapped onto 0..1.
float grey_of(const KvzaPixel *pixel) {
    return unit(static_cast<float>((static_cast<double>(pixel->w) + 1.0) * 0.5));
}

// Grey of a clipped RGB record: the mean of its largest and smallest channel,
// the lightness the colour model's whiteness is made of.
float grey_of_rgb(const KvzaPixel &rgb) {
    const double mx = std::max({rgb.c, rgb.s, rgb.w});
    const double mn = std::min({rgb.c, rgb.s, rgb.w});
    return unit(static_cast<float>((mx + mn) * 0.5));
}

}  // namespace

const int16_t kLayoutIds[16] = {21,  20,  198, 196, 51, 50,  215, 81,
                                210, 205, 200, 40,  41, 212, 207, 202};

uint32_t PngLayout::channels() const {
    switch (colour_type) {
        case ColourType::Rgba:
            return 4;
        case ColourType::Rgb:
            return 3;
        case ColourType::GreyAlpha:
            return 2;
        default:
            return 1;
    }
}

uint64_t PngLayout::row_bytes(uint32_t width) const {
    return (uint64_t{width} * channels() * depth + 7) / 8;
}

std::optional<PngLayout> find_layout(int32_t id) {
    for (const PngLayout &layout : kLayouts) {
        if (layout.id == id) return layout;
    }
    return std::nullopt;
}

void RowEncoder::put(uint8_t *out, uint64_t index, uint32_t value) const {
    switch (layout_.depth) {
        case 16:
            // Big-endian, as the file stores it: the encoder takes samples unchanged.
            out[2 * index] = static_cast<uint8_t>(value >> 8);
            out[2 * index + 1] = static_cast<uint8_t>(value);
            break;
        case 8:
            out[index] = static_cast<uint8_t>(value);
            break;
        default: {
            // Leftmost sample in the most significant bits.
            const uint64_t bit = index * layout_.depth;
            const uint32_t mask = (1u << layout_.depth) - 1;
            out[bit / 8] = static_cast<uint8_t>(out[bit / 8] |
                                                (value & mask) << (8 - layout_.depth - bit % 8));
            break;
        }
    }
}

uint32_t RowEncoder::quantize(int32_t x, int32_t y, float v) const {
    const int32_t level = kot::dither_level(job_.options);
    const int32_t q = layout_.depth == 16 ? kot::quantize_exact(16, x, y, level, v)
                                          : kot::quantize_level(layout_.depth, x, y, level, v);
    return static_cast<uint32_t>(q < 0 ? 0 : q);
}

int32_t RowEncoder::encode(int32_t y, uint8_t *out) {
    KvzaImage *image = job_.image;
    const KotSaveOptions *options = job_.options;
    const auto width = static_cast<uint32_t>(image->width);
    std::memset(out, 0, static_cast<size_t>(layout_.row_bytes(width)));
    const bool merge = kot::switch_on(options, kot::kSwitchMerge);
    const uint32_t channels = layout_.channels();
    for (uint32_t ux = 0; ux < width; ++ux) {
        const auto x = static_cast<int32_t>(ux);
        const KvzaPixel *pixel = kvza_getpixptr(image, x, y);
        const uint64_t first = uint64_t{ux} * channels;
        KvzaPixel work{0.0f, 0.0f, 0.0f, 1.0f};
        switch (layout_.colour_type) {
            case ColourType::Indexed:
                put(out, first, indices_->next());
                break;
            case ColourType::Rgb:
            case ColourType::Rgba:
                if (layout_.has_alpha()) {
                    kot::kvza_to_rgba(&work, pixel, image);
                    work.a = kot::threshold_alpha(x, y, options, work.a);
                    kvza_cliprgba(&work, &work);
                    put(out, first + 3, quantize(x, y, work.a));
                } else {
                    kot::rgb_colour_path(image, options, pixel, x, y, &work);
                }
                put(out, first, quantize(x, y, work.c));
                put(out, first + 1, quantize(x, y, work.s));
                put(out, first + 2, quantize(x, y, work.w));
                break;
            case ColourType::GreyAlpha:
                put(out, first, quantize(x, y, grey_of(pixel)));
                put(out, first + 1,
                    quantize(x, y, unit(kot::threshold_alpha(x, y, options, pixel->a))));
                break;
            case ColourType::Grey:
                if (merge) {
                    kot::rgb_colour_path(image, options, pixel, x, y, &work);
                    put(out, first, quantize(x, y, grey_of_rgb(work)));
                } else {
                    put(out, first, quantize(x, y, grey_of(pixel)));
                }
                break;
        }
        if (kvza_progress_count(image, job_.progress) != 0) return KOT_CANCELED;
    }
    return KOT_OK;
}

}  // namespace kotpng
