// kotico - writer plug-in for icon files holding one image: a colour (XOR)
// bitmap in one of seven layouts followed by the 1-bit transparency (AND) mask.
//
// Transparency comes from the image's alpha: either as the mask (alpha
// threshold, or alpha reduced to one bit with the dither strength) or, with
// "Merge to background", by compositing over the background colour under an
// all-opaque mask. The 32-bit layout with alpha keeps the alpha in the fourth
// byte of every pixel, as current programs read it, and is never merged; its
// mask still follows the alpha for programs that read only the mask. The
// colour bitmap is written by the shared bottom-up row packers; the colour
// bitmap and the mask count progress against the same total of
// width x height steps.
#include <cstdint>

#include "kot.h"
#include "kvza.h"
#include "writer_common.h"

namespace {

constexpr int16_t kIds[] = {204, 221, 222, 223, 224, 225, 21};

// How the common readers take the layouts that are not plain to all of them.
constexpr kot::TypeHint kHints[] = {
    {223, "ImageMagick does not open this layout."},
    {225,
     "Current programs read the fourth byte, which this layout leaves 0, as alpha: the icon "
     "shows fully transparent in them. \"RGB 24bit(+8bit alpha)\" keeps the alpha."},
};

kot::WriterTable g_table(kot::TableKind::AlphaOptions, kIds, kHints);

// Icons store width and height in one byte each, 0 standing for 256; only
// the layout with alpha goes up to 256, the size of the largest icons that
// programs show.
constexpr int64_t kMaxSide = 255;
constexpr int64_t kMaxAlphaSide = 256;
constexpr uint32_t kDirectoryBytes = 6;
constexpr uint32_t kEntryBytes = 16;
constexpr uint32_t kImageOffset = kDirectoryBytes + kEntryBytes;  // 22
constexpr uint32_t kInfoHeaderBytes = 40;

// One colour layout: bits per pixel, the directory's colour count byte, the
// number of palette entries (0 for the RGB layouts), whether the pixels keep
// their alpha, and the largest width and height.
struct IcoLayout {
    int16_t id;
    uint16_t bits;
    uint8_t colour_count;
    uint16_t palette_entries;
    bool keeps_alpha;
    int64_t max_side;
};

constexpr IcoLayout kLayouts[] = {
    {204, 1, 2, 2, false, kMaxSide},     {221, 4, 16, 16, false, kMaxSide},
    {222, 8, 0, 256, false, kMaxSide},   {223, 16, 0, 0, false, kMaxSide},
    {224, 24, 0, 0, false, kMaxSide},    {225, 32, 0, 0, false, kMaxSide},
    {21, 32, 0, 0, true, kMaxAlphaSide},
};

const IcoLayout *find_layout(int32_t id) {
    for (const IcoLayout &layout : kLayouts) {
        if (layout.id == id) return &layout;
    }
    return nullptr;
}

// The directory header, the directory entry and the bitmap header, in the
// four writes the format is built from.
int32_t write_headers(kot::FileWriter &out, const IcoLayout &layout, uint32_t width,
                      uint32_t height) {
    const uint64_t xor_size = kot::padded_image_size(layout.bits, width, height);
    const uint64_t and_size = kot::padded_image_size(1, width, height);
    const uint64_t resource_bytes =
        uint64_t{kInfoHeaderBytes} + 4 * uint64_t{layout.palette_entries} + xor_size + and_size;
    // Sides up to 256 keep every size far below 2^32.
    if (resource_bytes > UINT32_MAX) return KOT_FAILED;

    uint8_t directory[kDirectoryBytes] = {};
    kot::put_le16(directory + 0, 0);  // reserved
    kot::put_le16(directory + 2, 1);  // resource type: icon
    kot::put_le16(directory + 4, 1);  // one image
    if (!out.write(directory, sizeof directory)) return KOT_FAILED;

    uint8_t entry[kEntryBytes] = {};
    entry[0] = static_cast<uint8_t>(width);  // 256 becomes 0
    entry[1] = static_cast<uint8_t>(height);
    entry[2] = layout.colour_count;
    entry[3] = 0;
    kot::put_le16(entry + 4, 1);  // planes
    kot::put_le16(entry + 6, layout.bits);
    kot::put_le32(entry + 8, static_cast<uint32_t>(resource_bytes));
    kot::put_le32(entry + 12, kImageOffset);
    if (!out.write(entry, sizeof entry)) return KOT_FAILED;

    if (!out.write_le32(kInfoHeaderBytes)) return KOT_FAILED;

    // The rest of the bitmap header; the height covers the colour bitmap and
    // the mask. Resolutions, colours used and important colours stay 0.
    uint8_t info[kInfoHeaderBytes - 4] = {};
    kot::put_le32(info + 0, width);
    kot::put_le32(info + 4, 2 * height);
    kot::put_le16(info + 8, 1);  // planes
    kot::put_le16(info + 10, layout.bits);
    kot::put_le32(info + 12, 0);  // no compression
    kot::put_le32(info + 16, static_cast<uint32_t>(xor_size));
    if (!out.write(info, sizeof info)) return KOT_FAILED;
    return KOT_OK;
}

// The colour table of the index layouts, in one write. The palette is always
// optimised without regard to alpha: transparency lives in the mask.
int32_t write_palette(kot::FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                      uint32_t entries) {
    uint8_t table[4 * KVZA_PALETTE_ENTRIES];
    if (kot::build_optimised_palette(image, options, KVZA_ALPHA_OPAQUE, entries, table) != KOT_OK)
        return KOT_FAILED;
    return out.write(table, 4 * std::size_t{entries}) ? KOT_OK : KOT_FAILED;
}

int32_t write_colour_bitmap(kot::SaveJob &job, const IcoLayout &layout) {
    if (layout.palette_entries != 0) {
        return kot::pack_index_rows(job.out, job.image, job.options, job.progress, layout.bits);
    }
    return kot::pack_rgb_rows(job.out, job.image, job.options, job.progress, layout.id);
}

// With "Merge to background" the colours already carry the transparency: the
// mask is all opaque, written as 4 zero bytes per started group of 32 pixels
// with one progress step per group.
int32_t write_opaque_mask(kot::SaveJob &job) {
    static constexpr uint8_t kZeros[4] = {0, 0, 0, 0};
    const uint32_t width = static_cast<uint32_t>(job.image->width);
    const uint32_t groups = (width + 31) / 32;
    for (int32_t y = job.image->height - 1; y >= 0; --y) {
        for (uint32_t g = 0; g < groups; ++g) {
            if (!job.out.write(kZeros, sizeof kZeros)) return KOT_FAILED;
            if (kvza_progress_count(job.image, job.progress) != 0) return KOT_CANCELED;
        }
    }
    return KOT_OK;
}

// True when the pixel at (x, y) is left out of the icon (mask bit 1). With
// the threshold switch the alpha's 0..255 value is compared with track 1;
// otherwise the alpha is reduced to one bit with the dither strength of
// track 0. The alpha is the pixel's own, not clipped; a negative result of
// the one-bit reduction (possible only for a negative alpha) counts as
// transparent like 0.
bool transparent(const KotSaveOptions *options, const KvzaPixel *pixel, int32_t x, int32_t y) {
    if (kot::switch_on(options, kot::kSwitchThreshold)) {
        return kot::trunc_to_int(pixel->a * 255.0f) < kot::track1(options);
    }
    return kot::quantize_level(1, x, y, kot::dither_level(options), pixel->a) <= 0;
}

// The mask from the alpha: 8 pixels per byte, leftmost in the most
// significant bit, bits after a row's last pixel 0; one write and one
// progress step per byte, each row padded with zero bytes to 4 bytes.
int32_t write_alpha_mask(kot::SaveJob &job) {
    static constexpr uint8_t kZeros[4] = {0, 0, 0, 0};
    KvzaImage *image = job.image;
    const int32_t width = image->width;
    const uint64_t row_bytes = (static_cast<uint64_t>(width) + 7) / 8;
    const std::size_t padding = static_cast<std::size_t>((4 - row_bytes % 4) % 4);
    for (int32_t y = image->height - 1; y >= 0; --y) {
        for (int32_t x0 = 0; x0 < width; x0 += 8) {
            uint32_t byte = 0;
            for (int32_t k = 0; k < 8 && x0 + k < width; ++k) {
                const int32_t x = x0 + k;
                if (transparent(job.options, kvza_getpixptr(image, x, y), x, y)) {
                    byte |= 0x80u >> k;
                }
            }
            if (!job.out.write_u8(byte)) return KOT_FAILED;
            if (kvza_progress_count(image, job.progress) != 0) return KOT_CANCELED;
        }
        if (!job.out.write(kZeros, padding)) return KOT_FAILED;
    }
    return KOT_OK;
}

int32_t write_body(kot::SaveJob &job) {
    const int64_t width = job.image->width;
    const int64_t height = job.image->height;
    const IcoLayout *layout = find_layout(job.options->type);
    if (layout == nullptr) return KOT_FAILED;
    if (width > layout->max_side || height > layout->max_side) return KOT_FAILED;

    int32_t status = write_headers(job.out, *layout, static_cast<uint32_t>(width),
                                   static_cast<uint32_t>(height));
    if (status != KOT_OK) return status;
    if (layout->palette_entries != 0) {
        status = write_palette(job.out, job.image, job.options, layout->palette_entries);
        if (status != KOT_OK) return status;
    }
    status = write_colour_bitmap(job, *layout);
    if (status != KOT_OK) return status;
    if (kot::switch_on(job.options, kot::kSwitchMerge) && !layout->keeps_alpha)
        return write_opaque_mask(job);
    return write_alpha_mask(job);
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
