// Channel quantisation, alpha threshold, background merge, padded sizes,
// palettes and the colour path of the RGB layouts.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "writer_common.h"

#include "byte_float.h"
#include "clip_inline.h"
#include "colour_cache.h"

namespace kot {

namespace {

// Limits bits to the widths quantize_level supports.
int32_t clamp_bits(int32_t bits) {
    return bits < 1 ? 1 : (bits > 16 ? 16 : bits);
}

// Byte of a clipped channel (0..1): times 255, truncated or rounded.
uint8_t channel_byte(float v, ByteRounding rounding = ByteRounding::Truncate) {
    if (rounding == ByteRounding::Nearest) {
        if (!(v > 0.0f)) return 0;  // NaN included
        const double d = static_cast<double>(v) * 255.0 + 0.5;
        return d >= 255.0 ? 255 : static_cast<uint8_t>(d);
    }
    const int32_t i = trunc_to_int(v * 255.0f);
    return static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
}

}  // namespace

int32_t quantize_exact(int32_t bits, int32_t x, int32_t y, int32_t level, float v) {
    bits = clamp_bits(bits);
    const int32_t top = (int32_t{1} << bits) - 1;
    if (!(v > 0.0f)) return 0;  // NaN included
    if (v >= 1.0f) return top;
    const double steps = static_cast<double>(v) * top;
    if (level == 0) return static_cast<int32_t>(steps + 0.5);
    // Steps times 256, rounded: the low eight bits carry the fraction for the dither.
    const auto i = static_cast<int64_t>(std::nearbyint(steps * 256.0));
    const auto q = static_cast<int32_t>(i >> 8);
    const auto fraction = static_cast<uint32_t>(i & 255);
    if (fraction == 0 || q == top) return q;
    return q + kvza_getdither(fraction, x, y, static_cast<uint32_t>(level), nullptr);
}

namespace {

// Opaque when the 0..255 alpha value d reaches the threshold of track 1.
float threshold_of(const KotSaveOptions *options, int32_t d) {
    return d < track1(options) ? 0.0f : 1.0f;
}

}  // namespace

float threshold_alpha(int32_t x, int32_t y, const KotSaveOptions *options, float a) {
    if (!switch_on(options, kSwitchThreshold)) return a;
    if (a == 1.0f) return 1.0f;
    if (a == 0.0f) return 0.0f;
    const int32_t d = switch_on(options, kSwitchAlphaDither)
                          ? quantize_level(8, x, y, dither_level(options), a)
                          : trunc_to_int(a * 255.0f);
    return threshold_of(options, d);
}

float threshold_alpha_plain(const KotSaveOptions *options, float a) {
    if (!switch_on(options, kSwitchThreshold)) return a;
    if (a == 1.0f) return 1.0f;
    if (a == 0.0f) return 0.0f;
    return threshold_of(options, trunc_to_int(a * 255.0f));
}

void merge_background(KvzaPixel *colour, const uint8_t *background) {
    const float a = colour->a;
    float *channel[3] = {&colour->c, &colour->s, &colour->w};  // read as R, G, B
    for (int k = 0; k < 3; ++k) {
        const float b = static_cast<float>(background[k]) * kvza::kByteToFloat;
        // Mixed in double and rounded once when stored.
        *channel[k] = static_cast<float>(b + (static_cast<double>(*channel[k]) - b) * a);
    }
}

uint64_t padded_row_bytes(uint32_t bits, uint32_t width) {
    const uint64_t row = (uint64_t{bits} * width + 7) / 8;
    return (row + 3) & ~uint64_t{3};
}

uint64_t padded_image_size(uint32_t bits, uint32_t width, uint32_t height) {
    const uint64_t row = padded_row_bytes(bits, width);
    if (height != 0 && row > UINT64_MAX / height) return UINT64_MAX;
    return row * height;
}

void build_grey_ramp(uint32_t n, uint8_t *out) {
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t v = n > 1 ? static_cast<uint8_t>(uint64_t{i} * 255 / (n - 1)) : 0;
        out[4 * i] = v;
        out[4 * i + 1] = v;
        out[4 * i + 2] = v;
        out[4 * i + 3] = 0;
    }
}

int32_t build_optimised_palette(KvzaImage *image, const KotSaveOptions *options, int32_t mode,
                                uint32_t n, uint8_t *out, ByteRounding rounding) {
    if (image == nullptr || options == nullptr || out == nullptr || n == 0 ||
        n > KVZA_PALETTE_ENTRIES)
        return KOT_FAILED;
    if (kvza_optimpal(image, mode, n, nullptr) != KVZA_OK) return KOT_FAILED;
    const bool merge = switch_on(options, kSwitchMerge);
    KvzaPixel work{0.0f, 0.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i < n; ++i) {
        const KvzaPixel &entry = image->palette[i];
        kvza_kvz2rgb(&work, &entry);
        if (merge) {
            work.a = threshold_alpha_plain(options, entry.a);
            merge_background(&work, image->viewinfo);
        }
        kvza_cliprgba(&work, &work);
        out[4 * i] = channel_byte(work.w, rounding);      // blue
        out[4 * i + 1] = channel_byte(work.s, rounding);  // green
        out[4 * i + 2] = channel_byte(work.c, rounding);  // red
        out[4 * i + 3] = 0;
    }
    return KOT_OK;
}

namespace {

constexpr RgbLayout kRgbLayouts[] = {
    {20, 3, 8, 8, 8, 16, 8, 0},      {224, 3, 8, 8, 8, 16, 8, 0}, {22, 4, 8, 8, 8, 16, 8, 0},
    {225, 4, 8, 8, 8, 16, 8, 0},     {23, 2, 5, 6, 5, 11, 5, 0},  {24, 2, 5, 5, 5, 10, 5, 0},
    {223, 2, 5, 5, 5, 10, 5, 0},     {30, 2, 4, 4, 4, 8, 4, 0},   {190, 4, 10, 10, 10, 20, 10, 0},
    {191, 4, 11, 11, 10, 21, 10, 0}, {21, 4, 8, 8, 8, 16, 8, 8},
};

uint32_t field(int32_t value, uint32_t bits, uint32_t shift) {
    return (static_cast<uint32_t>(value) & ((uint32_t{1} << bits) - 1)) << shift;
}

}  // namespace

namespace {

// The RGB colours of up to kWindow pixels of one image row, from a given
// pixel on: a writer walks its rows pixel by pixel, so the colours of the
// pixels ahead are found together, in the cache or, for the rest, through one
// many-pixel conversion. Each colour is kept with the bits it was made from,
// and used only for a pixel with exactly those bits.
constexpr uint32_t kWindow = 512;

struct ColourWindow {
    uintptr_t begin = 0;  // address of the first pixel
    uint32_t n = 0;
    kvza::RgbBits in[kWindow];
    KvzaPixel out[kWindow];

    void fill(const KvzaPixel *from, uint32_t count, kvza::ColourCache<kvza::RgbBits> &cache) {
        begin = reinterpret_cast<uintptr_t>(from);
        n = count;
        for (uint32_t j = 0; j < n; ++j) in[j] = kvza::rgb_bits(from[j]);
        kvza::convert_chunk(cache, use, in, from, out, n, kvza_kvz2rgb_n);
    }

    kvza::CacheUse use;
};

// The window's colour of pixel, a pixel of image; null when the pixel is not
// one of the image's (the border) or its bits are not those converted.
const KvzaPixel *window_colour(ColourWindow &win, const KvzaImage *image, const KvzaPixel *pixel,
                               const kvza::RgbBits &key, kvza::ColourCache<kvza::RgbBits> &cache) {
    if (image == nullptr || image->width <= 0 || image->height <= 0) return nullptr;
    const uintptr_t first = reinterpret_cast<uintptr_t>(image->pixels);
    const uintptr_t at = reinterpret_cast<uintptr_t>(pixel);
    const uint64_t width = static_cast<uint32_t>(image->width);
    const uint64_t total = width * static_cast<uint32_t>(image->height);
    if (at < first || (at - first) % sizeof(KvzaPixel) != 0) return nullptr;
    const uint64_t index = (at - first) / sizeof(KvzaPixel);
    if (index >= total) return nullptr;
    if (at < win.begin || at >= win.begin + uint64_t{win.n} * sizeof(KvzaPixel)) {
        const uint64_t row_left = width - index % width;
        win.fill(pixel, static_cast<uint32_t>(std::min<uint64_t>(kWindow, row_left)), cache);
    }
    const uint64_t j = (at - win.begin) / sizeof(KvzaPixel);
    return win.in[j] == key ? &win.out[j] : nullptr;
}

}  // namespace

namespace {

// The colours this thread converted last, for kvz_to_rgb and kvz_to_rgb_run.
kvza::ColourCache<kvza::RgbBits> &thread_cache() {
    thread_local kvza::ColourCache<kvza::RgbBits> cache;
    return cache;
}

}  // namespace

void kvz_to_rgb(KvzaPixel *rgb, const KvzaPixel *pixel, const KvzaImage *image) {
    kvza::ColourCache<kvza::RgbBits> &cache = thread_cache();
    thread_local ColourWindow window;
    const KvzaPixel in = *pixel;
    const kvza::RgbBits key = kvza::rgb_bits(in);
    const KvzaPixel *known = window_colour(window, image, pixel, key, cache);
    const KvzaPixel out = known != nullptr ? *known : cache.rgb(key, in);
    rgb->c = out.c;
    rgb->s = out.s;
    rgb->w = out.w;
}

void kvz_to_rgb_run(const KvzaPixel *pixels, uint32_t n, KvzaPixel *rgb) {
    kvza::ColourCache<kvza::RgbBits> &cache = thread_cache();
    thread_local kvza::CacheUse use;
    kvza::RgbBits keys[kvza::kChunkMax];
    for (uint32_t at = 0; at < n; at += kvza::kChunkMax) {
        const uint32_t m = std::min(kvza::kChunkMax, n - at);
        for (uint32_t j = 0; j < m; ++j) keys[j] = kvza::rgb_bits(pixels[at + j]);
        kvza::convert_chunk(cache, use, keys, pixels + at, rgb + at, m, kvza_kvz2rgb_n);
        for (uint32_t j = 0; j < m; ++j) rgb[at + j].a = pixels[at + j].a;
    }
}

void kvza_to_rgba(KvzaPixel *rgba, const KvzaPixel *pixel, const KvzaImage *image) {
    const float a = pixel->a;
    kvz_to_rgb(rgba, pixel, image);
    rgba->a = a;
}

const RgbLayout *find_rgb_layout(int32_t id) {
    for (const RgbLayout &layout : kRgbLayouts) {
        if (layout.id == id) return &layout;
    }
    return nullptr;
}

namespace {

// The colour path after the conversion, on work (its RGB, and the pixel's
// alpha in the fourth float): with keep_alpha the alpha goes to the file
// through threshold_alpha; without it, the colour is merged with the image's
// background (viewinfo bytes 0..2) by the thresholded alpha when switch 0 is
// on, and the alpha becomes 1 otherwise. Then every float is clipped.
void finish_colour(const KvzaImage *image, const KotSaveOptions *options, bool keep_alpha,
                   int32_t x, int32_t y, KvzaPixel *work) {
    const bool merge = !keep_alpha && switch_on(options, kSwitchMerge);
    work->a = keep_alpha || merge ? threshold_alpha(x, y, options, work->a) : 1.0f;
    if (merge) merge_background(work, image->viewinfo);
    *work = kvza::clip_rgba(*work);
}

}  // namespace

void rgb_colour_path(const KvzaImage *image, const KotSaveOptions *options, const KvzaPixel *pixel,
                     int32_t x, int32_t y, KvzaPixel *work) {
    kvza_to_rgba(work, pixel, image);
    finish_colour(image, options, false, x, y, work);
}

void rgba_colour_path(const KotSaveOptions *options, const KvzaPixel *pixel, int32_t x, int32_t y,
                      KvzaPixel *work, const KvzaImage *image) {
    kvza_to_rgba(work, pixel, image);
    finish_colour(image, options, true, x, y, work);
}

namespace {

// Layouts of 8-bit red, green and blue (and alpha, if any) in the bytes
// B, G, R, A: without dither each byte is quantize_level's arithmetic on the
// clipped channel, which needs none of its guards for a value in 0 .. 1.
bool byte_channels(const RgbLayout &layout) {
    return layout.bits_r == 8 && layout.bits_g == 8 && layout.bits_b == 8 && layout.shift_r == 16 &&
           layout.shift_g == 8 && (layout.bits_a == 0 || layout.bits_a == 8);
}

inline uint8_t clipped_byte(float v) {
    return static_cast<uint8_t>(static_cast<int32_t>(65535.0f * v) >> 8);
}

}  // namespace

void encode_rgb_run(const RgbLayout &layout, const KvzaImage *image, const KotSaveOptions *options,
                    int32_t y, int32_t x0, uint32_t n, uint8_t *out) {
    const KvzaPixel *pixels = kvza_getpixptr(const_cast<KvzaImage *>(image), x0, y);
    const int32_t level = dither_level(options);
    const bool bytes = level == 0 && byte_channels(layout);
    KvzaPixel rgb[kvza::kChunkMax];
    for (uint32_t at = 0; at < n; at += kvza::kChunkMax) {
        const uint32_t m = std::min(kvza::kChunkMax, n - at);
        kvz_to_rgb_run(pixels + at, m, rgb);
        for (uint32_t j = 0; j < m; ++j) {
            const auto x = static_cast<int32_t>(static_cast<uint32_t>(x0) + at + j);
            finish_colour(image, options, layout.bits_a != 0, x, y, &rgb[j]);
        }
        uint8_t *unit = out + uint64_t{at} * layout.bytes;
        for (uint32_t j = 0; j < m; ++j, unit += layout.bytes) {
            uint8_t word[4];
            if (bytes) {
                word[0] = clipped_byte(rgb[j].w);
                word[1] = clipped_byte(rgb[j].s);
                word[2] = clipped_byte(rgb[j].c);
                word[3] = layout.bits_a != 0 ? clipped_byte(rgb[j].a) : 0;
            } else {
                const auto x = static_cast<int32_t>(static_cast<uint32_t>(x0) + at + j);
                put_le32(word, rgb_word(layout, rgb[j], x, y, level));
            }
            std::memcpy(unit, word, layout.bytes);
        }
    }
}

uint32_t rgb_word(const RgbLayout &layout, const KvzaPixel &rgb, int32_t x, int32_t y,
                  int32_t level) {
    const int32_t r = quantize_level(layout.bits_r, x, y, level, rgb.c);
    const int32_t g = quantize_level(layout.bits_g, x, y, level, rgb.s);
    const int32_t b = quantize_level(layout.bits_b, x, y, level, rgb.w);
    uint32_t word = field(r, layout.bits_r, layout.shift_r) |
                    field(g, layout.bits_g, layout.shift_g) | field(b, layout.bits_b, 0);
    if (layout.bits_a != 0) {
        const int32_t a = quantize_level(layout.bits_a, x, y, level, rgb.a);
        word |= field(a, layout.bits_a, layout.shift_r + layout.bits_r);
    }
    return word;
}

}  // namespace kot
