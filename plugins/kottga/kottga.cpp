// kottga - writer plug-in for uncompressed TGA files with the version 2.0
// footer: true colour with or without alpha, 15-bit colour with 1-bit alpha,
// an optimised 256-entry palette of 2, 3 or 4 bytes per entry, and 8- or
// 16-bit grey. Alpha is kept in the file; there is no merging with the
// background colour and there are no switches.
//
// Width and height are 16-bit fields: a larger image is refused before a
// single byte is written, so no header ever disagrees with its pixel data.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "clip_inline.h"
#include "index_stream.h"
#include "kot.h"
#include "kvza.h"
#include "row_blocks.h"
#include "writer_common.h"

namespace {

constexpr int16_t kIds[] = {20, 21, 25, 41, 50, 81};

// How the common readers take the layouts that are not plain to all of them.
constexpr kot::TypeHint kHints[] = {
    {25, "Python's imaging library ignores the alpha bit: the picture opens opaque."},
    {41,
     "At palette depth 2 ImageMagick and Python's imaging library ignore the alpha bit of the "
     "entries (the picture opens opaque); at depth 4 Python's imaging library does not open "
     "the file."},
    {81,
     "ImageMagick reads this layout as 15-bit colour, Python's imaging library as grey plus "
     "alpha: both show another picture."},
};

kot::WriterTable g_table(kot::TableKind::PaletteDepth, kIds, kHints);

constexpr int64_t kMaxSide = 65535;
constexpr uint32_t kHeaderBytes = 18;
constexpr uint32_t kPaletteEntries = 256;

enum ImageType : uint8_t { kColourMapped = 1, kTrueColour = 2, kGrey = 3 };

// Extension-area and developer-directory offsets (none), then the signature
// with its terminating zero.
constexpr uint8_t kFooter[26] = {0,   0,   0,   0,   0,   0,   0,   0,   'T', 'R', 'U', 'E', 'V',
                                 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

// What a pixel-type id (and for id 41 the palette depth) turns into.
struct TgaLayout {
    int16_t id;
    uint8_t image_type;
    uint8_t bytes_per_pixel;
    uint8_t alpha_bits;
    uint8_t palette_depth;  // bytes per colour-map entry; 0 without colour map
    int32_t palette_mode;   // alpha mode of the palette optimisation and matching
};

// The layout of options->type; false for an id or a palette depth the writer
// does not offer.
bool choose_layout(const KotSaveOptions *options, TgaLayout *layout) {
    const int16_t id = options->type;
    switch (id) {
        case 20:
            *layout = {id, kTrueColour, 3, 0, 0, 0};
            return true;
        case 21:
            *layout = {id, kTrueColour, 4, 8, 0, 0};
            return true;
        case 25:
            *layout = {id, kTrueColour, 2, 1, 0, 0};
            return true;
        case 50:
            *layout = {id, kGrey, 1, 0, 0, 0};
            return true;
        case 81:
            *layout = {id, kGrey, 2, 0, 0, 0};
            return true;
        case 41:
            switch (kot::track1(options)) {
                case 2:  // 1-bit alpha in the entries: two-valued matching
                    *layout = {id, kColourMapped, 1, 1, 2, KVZA_ALPHA_BINARY};
                    return true;
                case 3:  // no alpha in the entries
                    *layout = {id, kColourMapped, 1, 0, 3, KVZA_ALPHA_OPAQUE};
                    return true;
                case 4:  // 8-bit alpha in the entries
                    *layout = {id, kColourMapped, 1, 8, 4, KVZA_ALPHA_FULL};
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

int32_t write_header(kot::FileWriter &out, const TgaLayout &layout, uint32_t width,
                     uint32_t height) {
    uint8_t header[kHeaderBytes] = {};
    const bool mapped = layout.palette_depth != 0;
    header[0] = 0;  // no image ID
    header[1] = mapped ? 1 : 0;
    header[2] = layout.image_type;
    kot::put_le16(header + 3, 0);  // first colour-map entry
    kot::put_le16(header + 5, mapped ? kPaletteEntries : 0);
    header[7] = static_cast<uint8_t>(8 * layout.palette_depth);
    kot::put_le16(header + 8, 0);   // x origin
    kot::put_le16(header + 10, 0);  // y origin
    kot::put_le16(header + 12, width);
    kot::put_le16(header + 14, height);
    header[16] = static_cast<uint8_t>(8 * layout.bytes_per_pixel);
    header[17] = layout.alpha_bits;  // origin bits 0: the first stored row is the bottom row
    return out.write(header, sizeof header) ? KOT_OK : KOT_FAILED;
}

// Channel of a clipped RGBA record on a 0..max scale, truncated.
uint32_t scaled(float v, float max) {
    const int32_t i = kot::trunc_to_int(v * max);
    return static_cast<uint32_t>(i < 0 ? 0 : i);
}

// The optimised palette, one write per entry.
int32_t write_colour_map(kot::FileWriter &out, KvzaImage *image, const TgaLayout &layout) {
    if (kvza_optimpal(image, layout.palette_mode, kPaletteEntries, nullptr) != KVZA_OK)
        return KOT_FAILED;
    for (uint32_t i = 0; i < kPaletteEntries; ++i) {
        KvzaPixel rgba;
        kvza_kvza2rgba(&rgba, &image->palette[i]);
        kvza_cliprgba(&rgba, &rgba);
        uint8_t entry[4];
        if (layout.palette_depth == 2) {
            // Alpha 1 only for a fully opaque entry.
            const uint32_t word = scaled(rgba.a, 1.0f) << 15 | scaled(rgba.c, 31.0f) << 10 |
                                  scaled(rgba.s, 31.0f) << 5 | scaled(rgba.w, 31.0f);
            kot::put_le16(entry, word);
        } else {
            entry[0] = static_cast<uint8_t>(scaled(rgba.w, 255.0f));
            entry[1] = static_cast<uint8_t>(scaled(rgba.s, 255.0f));
            entry[2] = static_cast<uint8_t>(scaled(rgba.c, 255.0f));
            entry[3] = static_cast<uint8_t>(scaled(rgba.a, 255.0f));
        }
        if (!out.write(entry, layout.palette_depth)) return KOT_FAILED;
    }
    return KOT_OK;
}

// Grey of a pixel: whiteness -1..1 mapped onto 0..1.
float grey_of(const KvzaPixel *pixel) {
    const float g = (pixel->w + 1.0f) * 0.5f;
    if (std::isnan(g)) return 0.0f;
    return g < 0.0f ? 0.0f : (g > 1.0f ? 1.0f : g);
}

// The bytes of a true-colour pixel from its RGBA record (clipped here).
void encode_rgb(const TgaLayout &layout, KvzaPixel rgba, int32_t x, int32_t y, int32_t level,
                uint8_t *unit) {
    rgba = kvza::clip_rgba(rgba);
    switch (layout.id) {
        case 20:
            unit[0] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.w));
            unit[1] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.s));
            unit[2] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.c));
            break;
        case 21:
            unit[0] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.w));
            unit[1] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.s));
            unit[2] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.c));
            unit[3] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, rgba.a));
            break;
        default: {  // 25
            const uint32_t r = static_cast<uint32_t>(kot::quantize_level(5, x, y, level, rgba.c));
            const uint32_t g = static_cast<uint32_t>(kot::quantize_level(5, x, y, level, rgba.s));
            const uint32_t b = static_cast<uint32_t>(kot::quantize_level(5, x, y, level, rgba.w));
            const uint32_t a = static_cast<uint32_t>(kot::quantize_level(1, x, y, level, rgba.a));
            kot::put_le16(unit, (a & 1u) << 15 | (r & 31u) << 10 | (g & 31u) << 5 | (b & 31u));
            break;
        }
    }
}

// The bytes of one pixel of a grey layout at (x, y).
void encode_pixel(const TgaLayout &layout, const KvzaPixel *pixel, int32_t x, int32_t y,
                  int32_t level, uint8_t *unit) {
    switch (layout.id) {
        case 50:
            unit[0] = static_cast<uint8_t>(kot::quantize_level(8, x, y, level, grey_of(pixel)));
            break;
        default:  // 81
            kot::put_le16(
                unit, static_cast<uint32_t>(kot::quantize_level(16, x, y, level, grey_of(pixel))));
            break;
    }
}

// The bytes of n pixels of row y from x0 on. The true-colour layouts convert
// the run's colours together; the others go pixel by pixel.
void encode_run(const TgaLayout &layout, KvzaImage *image, int32_t y, int32_t x0, uint32_t n,
                int32_t level, uint8_t *out) {
    const KvzaPixel *pixels = kvza_getpixptr(image, x0, y);
    const uint32_t unit = layout.bytes_per_pixel;
    if (layout.id == 41) {
        kot::match_run(layout.palette_mode, image->palette, kPaletteEntries, pixels, n, x0, y,
                       static_cast<uint32_t>(level), out);
        return;
    }
    if (layout.image_type != kTrueColour) {
        for (uint32_t j = 0; j < n; ++j)
            encode_pixel(layout, pixels + j, x0 + static_cast<int32_t>(j), y, level,
                         out + uint64_t{j} * unit);
        return;
    }
    constexpr uint32_t kRun = 1024;  // colours converted together
    KvzaPixel rgba[kRun];
    for (uint32_t at = 0; at < n; at += kRun) {
        const uint32_t m = std::min(kRun, n - at);
        kot::kvz_to_rgb_run(pixels + at, m, rgba);
        for (uint32_t j = 0; j < m; ++j) {
            const int32_t x = x0 + static_cast<int32_t>(at + j);
            // Layout 20 ignores the alpha: the record's alpha is 1, as when
            // only the colour is converted.
            if (layout.id == 20) rgba[j].a = 1.0f;
            encode_rgb(layout, rgba[j], x, y, level, out + uint64_t{at + j} * unit);
        }
    }
}

// Rows from the bottom up, left to right, one write and one progress step
// per pixel, no row padding; blocks of rows are encoded on all cores first.
int32_t write_pixels(kot::SaveJob &job, const TgaLayout &layout) {
    const int32_t level = kot::dither_level(job.options);
    return kot::write_rows(job.out, job.image, job.progress,
                           kot::RowFormat{layout.bytes_per_pixel, false},
                           [&](int32_t y, int32_t x0, uint32_t n, uint8_t *out) {
                               encode_run(layout, job.image, y, x0, n, level, out);
                           });
}

int32_t write_body(kot::SaveJob &job) {
    const int64_t width = job.image->width;
    const int64_t height = job.image->height;
    if (width > kMaxSide || height > kMaxSide) return KOT_FAILED;
    TgaLayout layout{};
    if (!choose_layout(job.options, &layout)) return KOT_FAILED;

    int32_t status =
        write_header(job.out, layout, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (status != KOT_OK) return status;
    if (layout.palette_depth != 0) {
        status = write_colour_map(job.out, job.image, layout);
        if (status != KOT_OK) return status;
    }
    status = write_pixels(job, layout);
    if (status != KOT_OK) return status;
    return job.out.write(kFooter, sizeof kFooter) ? KOT_OK : KOT_FAILED;
}

}  // namespace

extern "C" KOT_API KotUsableTable *kot_getusabletbl(void) {
    return g_table.get();
}

extern "C" KOT_API int32_t kot_getusabletbl_img(KotUsableTable *table_out, uint32_t size,
                                                const KvzaImage *image) {
    return g_table.copy_to(table_out, size, image);
}

extern "C" KOT_API const char *kot_typehint(int32_t id) {
    return g_table.hint(id);
}

extern "C" KOT_API int32_t kot_save(KvzaImage *image, const char *path,
                                    const KotSaveOptions *options, KvzaProgress *progress) {
    return kot::run_save(image, path, options, progress, g_table.get(), &write_body);
}
