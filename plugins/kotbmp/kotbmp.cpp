// kotbmp - writer plug-in for device-independent bitmaps: a 14-byte file
// header, a 40-byte information header, bit-field masks or a palette where the
// layout has them, then the pixel rows bottom-up, each padded to 4 bytes.
//
// Seventeen layouts: true colour (24 bits), bit-field colour (16 and 32 bits),
// an optimised palette of 2, 16 or 256 entries, grey or alpha values over a
// grey-ramp palette, and 32-bit colour with alpha. The alpha layout needs a
// mask for its alpha, which only the later, longer headers carry: it is
// written with the 108-byte header, the shortest of them that every common
// reader knows, and its colour space is set to sRGB so that readers take the
// values as they are, without a gamma of their own. The arithmetic, the
// palettes and the row packers are the shared writer helpers; this file
// chooses the layout, writes the headers and refuses images whose sizes do
// not fit the 32-bit fields.
#include <cstdint>
#include <cstring>
#include <iterator>

#include "kot.h"
#include "kvza.h"
#include "writer_common.h"

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kV4HeaderBytes = 108;
constexpr uint32_t kMaskBytes = 12;
// The 108-byte header's part after the 40 bytes: four masks, the colour
// space, its end points (36 bytes) and gammas (12 bytes).
constexpr uint32_t kV4TailBytes = kV4HeaderBytes - kInfoHeaderBytes;
constexpr uint32_t kSrgbColourSpace = 0x73524742;  // 'sRGB'
constexpr uint32_t kPaletteEntryBytes = 4;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitFields = 3;

// Where the pixel values of a layout come from.
enum class Source { Rgb, Index, Grey, Alpha };
// What precedes the pixel rows besides the headers.
enum class Palette { None, Optimised, GreyRamp };

struct BmpLayout {
    int16_t id;
    uint16_t bits;         // bits per pixel
    uint32_t compression;  // kBiRgb or kBiBitFields
    uint32_t red_mask, green_mask, blue_mask, alpha_mask;
    uint32_t header_bytes;  // kInfoHeaderBytes, or kV4HeaderBytes with an alpha mask
    Palette palette;
    uint32_t entries;  // palette entries (0 without a palette)
    Source source;
};

constexpr BmpLayout kLayouts[] = {
    {20, 24, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::None, 0, Source::Rgb},
    {22, 32, kBiBitFields, 0xff0000, 0xff00, 0xff, 0, kInfoHeaderBytes, Palette::None, 0,
     Source::Rgb},
    {23, 16, kBiBitFields, 0xf800, 0x7e0, 0x1f, 0, kInfoHeaderBytes, Palette::None, 0, Source::Rgb},
    {24, 16, kBiBitFields, 0x7c00, 0x3e0, 0x1f, 0, kInfoHeaderBytes, Palette::None, 0, Source::Rgb},
    {30, 16, kBiBitFields, 0xf00, 0xf0, 0xf, 0, kInfoHeaderBytes, Palette::None, 0, Source::Rgb},
    {190, 32, kBiBitFields, 0x3ff00000, 0xffc00, 0x3ff, 0, kInfoHeaderBytes, Palette::None, 0,
     Source::Rgb},
    {191, 32, kBiBitFields, 0xffe00000, 0x1ffc00, 0x3ff, 0, kInfoHeaderBytes, Palette::None, 0,
     Source::Rgb},
    {41, 8, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::Optimised, 256, Source::Index},
    {212, 4, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::Optimised, 16, Source::Index},
    {202, 1, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::Optimised, 2, Source::Index},
    {50, 8, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 256, Source::Grey},
    {210, 4, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 16, Source::Grey},
    {200, 1, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 2, Source::Grey},
    {28, 8, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 256, Source::Alpha},
    {211, 4, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 16, Source::Alpha},
    {201, 1, kBiRgb, 0, 0, 0, 0, kInfoHeaderBytes, Palette::GreyRamp, 2, Source::Alpha},
    {21, 32, kBiBitFields, 0xff0000, 0xff00, 0xff, 0xff000000, kV4HeaderBytes, Palette::None, 0,
     Source::Rgb},
};

// The usable ids, in the order of the layout table.
constexpr int16_t kUsableIds[] = {20,  22, 23,  24,  30, 190, 191, 41, 212,
                                  202, 50, 210, 200, 28, 211, 201, 21};
static_assert(std::size(kUsableIds) == std::size(kLayouts), "one usable id per layout");

// How the common readers take the layouts that are not plain to all of them.
constexpr kot::TypeHint kHints[] = {
    {30,
     "ImageMagick shows this layout darker (its 4-bit channels read as at most 240 of 255); "
     "Python's imaging library does not open it."},
    {190, "Python's imaging library does not open this layout."},
    {191, "Python's imaging library does not open this layout."},
};

kot::WriterTable g_table(kot::TableKind::AlphaOptions, kUsableIds, kHints);

const BmpLayout *find_layout(int32_t id) {
    for (const BmpLayout &layout : kLayouts) {
        if (layout.id == id) return &layout;
    }
    return nullptr;
}

// Sizes of one file, all in 64 bits so that an image too large for the
// format's 32-bit fields is recognised instead of wrapping around.
struct BmpSizes {
    uint64_t data_offset;
    uint64_t image_size;
    uint64_t file_size;
};

BmpSizes compute_sizes(const BmpLayout &layout, uint32_t width, uint32_t height) {
    BmpSizes s{};
    s.data_offset = uint64_t{kFileHeaderBytes} + layout.header_bytes;
    // The 40-byte header is followed by the three colour masks; longer
    // headers hold their masks.
    if (layout.compression == kBiBitFields && layout.header_bytes == kInfoHeaderBytes)
        s.data_offset += kMaskBytes;
    s.data_offset += uint64_t{kPaletteEntryBytes} * layout.entries;
    s.image_size = kot::padded_image_size(layout.bits, width, height);
    s.file_size =
        s.image_size > UINT64_MAX - s.data_offset ? UINT64_MAX : s.data_offset + s.image_size;
    return s;
}

// The width and height fields are signed 32-bit, the sizes unsigned 32-bit.
bool fits_format(const BmpSizes &s, uint32_t width, uint32_t height) {
    return width <= INT32_MAX && height <= INT32_MAX && s.image_size <= UINT32_MAX &&
           s.file_size <= UINT32_MAX;
}

// Signature, then file size .. header size, then the rest of the information
// header: three writes.
bool write_headers(kot::FileWriter &out, const BmpLayout &layout, const BmpSizes &s, uint32_t width,
                   uint32_t height) {
    const uint8_t signature[2] = {'B', 'M'};
    uint8_t file_part[16];
    kot::put_le32(file_part, static_cast<uint32_t>(s.file_size));
    kot::put_le32(file_part + 4, 0);  // reserved
    kot::put_le32(file_part + 8, static_cast<uint32_t>(s.data_offset));
    kot::put_le32(file_part + 12, layout.header_bytes);
    uint8_t info_part[36];
    std::memset(info_part, 0, sizeof info_part);
    kot::put_le32(info_part, width);
    kot::put_le32(info_part + 4, height);  // positive: rows stored bottom-up
    kot::put_le16(info_part + 8, 1);       // planes
    kot::put_le16(info_part + 10, layout.bits);
    kot::put_le32(info_part + 12, layout.compression);
    kot::put_le32(info_part + 16, static_cast<uint32_t>(s.image_size));
    // Resolutions, colours used and important colours stay 0, also when a
    // palette follows.
    return out.write(signature, sizeof signature) && out.write(file_part, sizeof file_part) &&
           out.write(info_part, sizeof info_part);
}

// The three colour masks after the 40-byte header, or the rest of the
// 108-byte header (its four masks and the sRGB colour space, end points and
// gammas 0, which sRGB leaves unused), in one write.
bool write_masks(kot::FileWriter &out, const BmpLayout &layout) {
    uint8_t masks[kV4TailBytes] = {};
    kot::put_le32(masks, layout.red_mask);
    kot::put_le32(masks + 4, layout.green_mask);
    kot::put_le32(masks + 8, layout.blue_mask);
    if (layout.header_bytes == kInfoHeaderBytes) return out.write(masks, kMaskBytes);
    kot::put_le32(masks + 12, layout.alpha_mask);
    kot::put_le32(masks + 16, kSrgbColourSpace);
    return out.write(masks, kV4TailBytes);
}

// Builds the layout's palette and writes it in one write. The index layouts
// optimise the image's palette (in place); with "Merge to background" on,
// alpha takes part in the optimisation and the entries are composited over
// the background colour.
int32_t write_palette(kot::SaveJob &job, const BmpLayout &layout) {
    uint8_t palette[kPaletteEntryBytes * KVZA_PALETTE_ENTRIES];
    if (layout.palette == Palette::GreyRamp) {
        kot::build_grey_ramp(layout.entries, palette);
    } else {
        const int32_t mode =
            kot::switch_on(job.options, kot::kSwitchMerge) ? KVZA_ALPHA_FULL : KVZA_ALPHA_OPAQUE;
        if (kot::build_optimised_palette(job.image, job.options, mode, layout.entries, palette) !=
            KOT_OK)
            return KOT_FAILED;
    }
    return job.out.write(palette, kPaletteEntryBytes * layout.entries) ? KOT_OK : KOT_FAILED;
}

int32_t write_pixels(kot::SaveJob &job, const BmpLayout &layout) {
    switch (layout.source) {
        case Source::Rgb:
            return kot::pack_rgb_rows(job.out, job.image, job.options, job.progress, layout.id);
        case Source::Index:
            return kot::pack_index_rows(job.out, job.image, job.options, job.progress, layout.bits);
        case Source::Grey:
            return kot::pack_grey_rows(job.out, job.image, job.options, job.progress, layout.bits);
        case Source::Alpha:
            return kot::pack_alpha_rows(job.out, job.image, job.options, job.progress, layout.bits);
    }
    return KOT_FAILED;
}

int32_t write_body(kot::SaveJob &job) {
    const BmpLayout *layout = find_layout(job.options->type);
    if (layout == nullptr) return KOT_FAILED;
    const uint32_t width = static_cast<uint32_t>(job.image->width);
    const uint32_t height = static_cast<uint32_t>(job.image->height);
    const BmpSizes sizes = compute_sizes(*layout, width, height);
    // Refused before the first byte: the file stays empty.
    if (!fits_format(sizes, width, height)) return KOT_FAILED;

    if (!write_headers(job.out, *layout, sizes, width, height)) return KOT_FAILED;
    if (layout->compression == kBiBitFields && !write_masks(job.out, *layout)) return KOT_FAILED;
    if (layout->palette != Palette::None) {
        const int32_t status = write_palette(job, *layout);
        if (status != KOT_OK) return status;
    }
    return write_pixels(job, *layout);
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
