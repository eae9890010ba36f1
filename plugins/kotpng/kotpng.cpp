// kotpng - writer plug-in for PNG files: RGB and grey at 8 and 16 bits with or
// without alpha, grey at 1, 2 and 4 bits, and an optimised palette of 2, 4, 16
// or 256 entries (the 256-entry one with its alpha in a tRNS chunk).
//
// The rows are made by the shared quantisation, threshold and merge helpers
// and compressed by libspng (deflate level from track 2, Adam7 interlacing on
// switch 3). Rows are handed over one at a time, so a save needs one row of
// memory; an interlaced save makes the whole image first, because its passes
// take every row several times.
#include <spng.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "index_stream.h"
#include "kot.h"
#include "kvza.h"
#include "png_samples.h"
#include "writer_common.h"

namespace {

kot::WriterTable g_table(kot::TableKind::PngOptions, kotpng::kLayoutIds);

using kotpng::ColourType;
using kotpng::PngLayout;

struct ContextFree {
    void operator()(spng_ctx *ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

// libspng's output goes through the save's file writer.
int write_stream(spng_ctx * /*ctx*/, void *user, void *src, size_t length) {
    return static_cast<kot::FileWriter *>(user)->write(src, length) ? 0 : SPNG_IO_ERROR;
}

// The optimised palette (and for the alpha layout its tRNS) of an indexed save.
int32_t set_palette(spng_ctx *ctx, KvzaImage *image, const KotSaveOptions *options,
                    const PngLayout &layout) {
    const uint32_t n = 1u << layout.depth;
    uint8_t bgr[4 * KVZA_PALETTE_ENTRIES];
    if (kot::build_optimised_palette(image, options, layout.palette_mode, n, bgr,
                                     kot::ByteRounding::Nearest) != KOT_OK)
        return KOT_FAILED;
    spng_plte plte{};
    plte.n_entries = n;
    for (uint32_t i = 0; i < n; ++i) {
        plte.entries[i].red = bgr[4 * i + 2];
        plte.entries[i].green = bgr[4 * i + 1];
        plte.entries[i].blue = bgr[4 * i];
    }
    if (spng_set_plte(ctx, &plte) != 0) return KOT_FAILED;
    if (!layout.has_alpha()) return KOT_OK;

    spng_trns trns{};
    uint32_t count = 0;  // entries up to the last one that is not opaque
    for (uint32_t i = 0; i < n; ++i) {
        const float a = kot::threshold_alpha_plain(options, image->palette[i].a);
        const auto q = static_cast<uint8_t>(kot::quantize_level(8, 0, 0, 0, a > 1.0f ? 1.0f : a));
        trns.type3_alpha[i] = q;
        if (q != 255) count = i + 1;
    }
    trns.n_type3_entries = count;
    if (count != 0 && spng_set_trns(ctx, &trns) != 0) return KOT_FAILED;
    return KOT_OK;
}

int32_t set_header(spng_ctx *ctx, const kot::SaveJob &job, const PngLayout &layout,
                   bool interlace) {
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(job.image->width);
    ihdr.height = static_cast<uint32_t>(job.image->height);
    ihdr.bit_depth = layout.depth;
    ihdr.color_type = static_cast<uint8_t>(layout.colour_type);
    ihdr.interlace_method = interlace ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE;
    if (spng_set_ihdr(ctx, &ihdr) != 0) return KOT_FAILED;
    if (spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, kot::compression_level(job.options)) != 0)
        return KOT_FAILED;
    // Palette and sub-byte images compress best unfiltered.
    if (layout.colour_type == ColourType::Indexed || layout.depth < 8) {
        if (spng_set_option(ctx, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE) != 0)
            return KOT_FAILED;
    }
    return KOT_OK;
}

// Rows one at a time, top to bottom.
int32_t encode_progressive(spng_ctx *ctx, kotpng::RowEncoder &rows, uint64_t row_bytes,
                           int32_t height) {
    std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
    if (spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG,
                          SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) != 0)
        return KOT_FAILED;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t status = rows.encode(y, row.data());
        if (status != KOT_OK) return status;
        const int rc = spng_encode_row(ctx, row.data(), row.size());
        // The last row ends the image (and writes the file's end).
        if (rc != 0 && !(rc == SPNG_EOI && y == height - 1)) return KOT_FAILED;
    }
    return KOT_OK;
}

// The whole image first, then the seven passes.
int32_t encode_interlaced(spng_ctx *ctx, kotpng::RowEncoder &rows, uint64_t row_bytes,
                          int32_t height) {
    if (row_bytes != 0 && static_cast<uint64_t>(height) > SIZE_MAX / row_bytes) return KOT_FAILED;
    std::vector<uint8_t> image(static_cast<size_t>(row_bytes * static_cast<uint64_t>(height)));
    for (int32_t y = 0; y < height; ++y) {
        const int32_t status =
            rows.encode(y, image.data() + static_cast<size_t>(row_bytes) * static_cast<size_t>(y));
        if (status != KOT_OK) return status;
    }
    return spng_encode_image(ctx, image.data(), image.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) ==
                   0
               ? KOT_OK
               : KOT_FAILED;
}

int32_t write_body(kot::SaveJob &job) {
    const std::optional<PngLayout> found = kotpng::find_layout(job.options->type);
    if (!found) return KOT_FAILED;
    const PngLayout layout = *found;

    // A layout that keeps alpha is never merged with the background.
    KotSaveOptions options = *job.options;
    if (layout.has_alpha()) options.switches &= static_cast<uint16_t>(~(1u << kot::kSwitchMerge));
    kot::SaveJob save{job.image, &options, job.progress, job.out};
    const bool interlace = kot::switch_on(&options, kot::kSwitchInterlace);

    Context ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx || spng_set_png_stream(ctx.get(), &write_stream, &job.out) != 0) return KOT_FAILED;
    if (set_header(ctx.get(), save, layout, interlace) != KOT_OK) return KOT_FAILED;

    std::optional<kot::IndexStream> indices;
    if (layout.colour_type == ColourType::Indexed) {
        if (set_palette(ctx.get(), job.image, &options, layout) != KOT_OK) return KOT_FAILED;
        indices.emplace(job.image, 1u << layout.depth,
                        static_cast<uint32_t>(kot::dither_level(&options)), layout.palette_mode,
                        kot::RowOrder::TopDown);
    }
    kotpng::RowEncoder rows(save, layout, indices ? &*indices : nullptr);
    const uint64_t row_bytes = layout.row_bytes(static_cast<uint32_t>(job.image->width));
    return interlace ? encode_interlaced(ctx.get(), rows, row_bytes, job.image->height)
                     : encode_progressive(ctx.get(), rows, row_bytes, job.image->height);
}

// No exception leaves the plug-in: a buffer that cannot be had fails the save.
int32_t write_body_guarded(kot::SaveJob &job) {
    try {
        return write_body(job);
    } catch (const std::bad_alloc &) {
        return KOT_FAILED;
    } catch (const std::length_error &) {
        return KOT_FAILED;
    }
}

}  // namespace

extern "C" KOT_API KotUsableTable *kot_getusabletbl(void) {
    return g_table.get();
}

extern "C" KOT_API int32_t kot_getusabletbl_img(KotUsableTable *table_out, uint32_t size,
                                                const KvzaImage *image) {
    return g_table.copy_to(table_out, size, image);
}

extern "C" KOT_API int32_t kot_save(KvzaImage *image, const char *path,
                                    const KotSaveOptions *options, KvzaProgress *progress) {
    return kot::run_save(image, path, options, progress, g_table.get(), &write_body_guarded);
}
