// writer_common.h - arithmetic, palettes, row packers, option tables and the
// save skeleton shared by the output plug-ins (kotbmp, kotico, kottga).
//
// Everything here is linked statically into each writer and stays hidden in
// it. Pixels are read only through kvza_getpixptr; matching, dithering and
// palette optimisation come from the image library. Status values are those
// of kot_save: KOT_OK (0), KOT_FAILED (1), KOT_CANCELED (2).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "kot.h"
#include "kvza.h"

namespace kot {

// ---------------------------------------------------------------- options

// Switch numbers of the BMP/ICO table.
inline constexpr int kSwitchMerge = 0;        // "Merge to background"
inline constexpr int kSwitchThreshold = 1;    // "'Alpha Threshold' enable"
inline constexpr int kSwitchAlphaDither = 2;  // "Alpha dithering"
inline constexpr int kSwitchInterlace = 3;    // "Interlace" (PNG table)

// True when switch `index` (0..7) is on. Writers look at the low byte only.
inline bool switch_on(const KotSaveOptions *options, int index) {
    return ((options->switches & 0xffu) >> index) & 1u;
}
// Track 0: dither strength, 0 (off) .. 256 (strongest).
inline int32_t dither_level(const KotSaveOptions *options) {
    return options->track[0];
}
// Track 1: alpha threshold on the 0..255 scale (BMP, ICO, PNG) or palette depth (TGA).
inline int32_t track1(const KotSaveOptions *options) {
    return options->track[1];
}
// Track 2 of the PNG table: deflate compression level, limited to 0..9.
inline int32_t compression_level(const KotSaveOptions *options) {
    const int32_t level = options->track[2];
    return level < 0 ? 0 : (level > 9 ? 9 : level);
}

// ------------------------------------------------------------- arithmetic

// Float to int32, truncating toward zero; NaN gives 0 and values beyond the
// int32 range saturate (the plain conversion would be undefined there).
inline int32_t trunc_to_int(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Turns a channel value (nominally 0..1) into an integer of `bits` bits
// (1..16; other widths are clamped into that range) with ordered dither of
// strength `level` at pixel (x, y). 1.0 gives 2^bits - 1, 0 gives 0; values
// outside 0..1 are not clipped. Inline: the writers call it for every
// channel of every pixel.
inline int32_t quantize_level(int32_t bits, int32_t x, int32_t y, int32_t level, float v) {
    bits = bits < 1 ? 1 : (bits > 16 ? 16 : bits);
    // Eight extra bits below the target scale carry the fraction for the dither.
    const int32_t scale = (int32_t{1} << (bits + 8)) - 1;
    const float f = static_cast<float>(scale) * v;
    const int32_t i = trunc_to_int(f);
    const int32_t q = i >> 8;
    const int32_t top = (int32_t{1} << bits) - 1;
    if (level == 0 || i == 0 || q == top) return q;
    return q + kvza_getdither(static_cast<uint32_t>(i & 255), x, y, static_cast<uint32_t>(level),
                              nullptr);
}

// The exact quantiser of deep layouts, worked out in double precision: with
// level 0 the nearest step, so a value within a hair of a step (as after the
// colour model's round trip) lands on it at any width up to 16 bits; with
// dither, the value rounded to 1/256 of a step and its fraction dithered as
// quantize_level does. NaN and values up to 0 give 0, 1 and above 2^bits - 1.
int32_t quantize_exact(int32_t bits, int32_t x, int32_t y, int32_t level, float v);

// The alpha used when compositing with the background: `a` itself when
// switch 1 is off; else 1.0 stays 1.0, 0 stays 0, and any other alpha becomes
// 0.0 or 1.0 by comparing its 0..255 value (dithered with track 0 when
// switch 2 is on) with the threshold of track 1.
float threshold_alpha(int32_t x, int32_t y, const KotSaveOptions *options, float a);

// threshold_alpha without the dither branch, for palette entries.
float threshold_alpha_plain(const KotSaveOptions *options, float a);

// Composites the RGB of `colour` over the background bytes R, G, B
// (background[0..2]) with the colour's own alpha; alpha stays unchanged.
void merge_background(KvzaPixel *colour, const uint8_t *background);

// Bytes of one row of `bits` per pixel padded to a multiple of 4.
uint64_t padded_row_bytes(uint32_t bits, uint32_t width);
// padded_row_bytes x height, in 64 bits (UINT64_MAX if even that overflows).
uint64_t padded_image_size(uint32_t bits, uint32_t width, uint32_t height);

// Little-endian stores for building headers.
inline void put_le16(uint8_t *dst, uint32_t v) {
    dst[0] = static_cast<uint8_t>(v);
    dst[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le32(uint8_t *dst, uint32_t v) {
    put_le16(dst, v);
    put_le16(dst + 2, v >> 16);
}

// ------------------------------------------------------------ file output

// Raw-byte output over a FILE*. write() succeeds only when every byte was
// transferred; after the first failure every later write fails too. A writer
// whose file could not be opened fails every write.
class FileWriter {
  public:
    FileWriter() = default;
    // Borrows an open stream; close() flushes it but leaves it open.
    explicit FileWriter(std::FILE *stream) : file_(stream), owned_(false) {}
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;
    ~FileWriter() { close(); }

    // Creates or truncates `path` for binary writing ("wb"). False on failure
    // (also for a NULL path); the writer then fails every write.
    bool open(const char *path);
    bool is_open() const { return file_ != nullptr; }
    // Writes n bytes; false on a short or failed write (for a file opened
    // here, noticed when the gathered bytes go out, at the latest on close).
    bool write(const void *data, std::size_t n);
    bool write_u8(uint32_t v);
    bool write_le16(uint32_t v);
    bool write_le32(uint32_t v);
    // Flushes and (when owned) closes. True when a file was open, every
    // write succeeded and the flush or close did too; false when nothing is
    // open (never opened, or already closed).
    bool close();

  private:
    // Writers hand over a few bytes at a time (a pixel, a field); for a file
    // of its own they are gathered here and reach the stream in large blocks.
    bool flush_buffer();

    static constexpr std::size_t kBufferBytes = std::size_t{1} << 16;
    std::FILE *file_ = nullptr;
    bool owned_ = false;
    bool failed_ = false;
    std::unique_ptr<uint8_t[]> buffer_;  // none: every write goes to the stream at once
    std::size_t used_ = 0;
};

// --------------------------------------------------------------- palettes

// Grey ramp of n entries (2, 16 or 256) into out[4 x n]: entry i is
// blue = green = red = i x 255 div (n - 1), fourth byte 0.
void build_grey_ramp(uint32_t n, uint8_t *out);

// How a palette channel (0..1) becomes a byte: times 255 truncated (the
// bitmap writers' bytes), or rounded to the nearest byte, so that a colour
// read from an 8-bit file comes back as the byte it was.
enum class ByteRounding { Truncate, Nearest };

// Optimised palette of n entries (1..256) into out[4 x n] (blue, green, red,
// 0): kvza_optimpal(image, mode, n) rebuilds image->palette, then every entry
// goes to RGB, merged with the background colour when switch 0 is on
// (alpha through threshold_alpha_plain), clipped and scaled by 255.
// Returns 0, or 1 for a bad argument or when the optimisation fails.
int32_t build_optimised_palette(KvzaImage *image, const KotSaveOptions *options, int32_t mode,
                                uint32_t n, uint8_t *out,
                                ByteRounding rounding = ByteRounding::Truncate);

// ------------------------------------------------------ RGB colour layouts

// One RGB word layout: bytes per pixel, channel widths and shifts (blue is
// always the lowest bits), and the width of an alpha field right above red
// (0: none). Bits above the channels are 0.
struct RgbLayout {
    int16_t id;
    uint8_t bytes;
    uint8_t bits_r, bits_g, bits_b;
    uint8_t shift_r, shift_g;
    uint8_t bits_a;
};

// Layout of ids 20, 224, 22, 225, 23, 24, 223, 30, 190, 191 and 21 (8-bit
// alpha in the top byte); nullptr otherwise.
const RgbLayout *find_rgb_layout(int32_t id);

// kvza_kvz2rgb of pixel into rgb (its fourth float untouched; rgb may be
// pixel), through an exact cache of the colours this thread converted last:
// a picture read from a file repeats most of its colours. When pixel is one
// of image's pixels, the colours of the pixels after it in its row are
// converted with it, for the calls that follow.
void kvz_to_rgb(KvzaPixel *rgb, const KvzaPixel *pixel, const KvzaImage *image = nullptr);
// The same with the alpha copied along: kvza_kvza2rgba.
void kvza_to_rgba(KvzaPixel *rgba, const KvzaPixel *pixel, const KvzaImage *image = nullptr);

// kvza_kvz2rgb of n consecutive pixels into rgb, whose fourth float is the
// pixel's alpha: through this thread's cache (kvz_to_rgb's) and one
// many-pixel conversion of the colours it lacks.
void kvz_to_rgb_run(const KvzaPixel *pixels, uint32_t n, KvzaPixel *rgb);

// The colour path of the RGB layouts for one pixel, into work (RGBA):
// kvza_kvz2rgb; with switch 0 on the alpha slot becomes threshold_alpha of
// the pixel's alpha and the colour is merged with the image's background
// (viewinfo bytes 0..2), with it off the alpha slot becomes 1; then
// kvza_cliprgba.
void rgb_colour_path(const KvzaImage *image, const KotSaveOptions *options, const KvzaPixel *pixel,
                     int32_t x, int32_t y, KvzaPixel *work);

// The colour path of the layouts that keep alpha, into work (RGBA):
// kvza_kvza2rgba, the alpha through threshold_alpha, then kvza_cliprgba.
// The colour is never merged with the background: the alpha goes to the file.
void rgba_colour_path(const KotSaveOptions *options, const KvzaPixel *pixel, int32_t x, int32_t y,
                      KvzaPixel *work, const KvzaImage *image = nullptr);

// Quantises the R, G, B (and the alpha, when the layout has it) of a clipped
// RGBA record with the layout's widths (track 0 dither at (x, y)) and
// assembles the word.
uint32_t rgb_word(const RgbLayout &layout, const KvzaPixel &rgb, int32_t x, int32_t y,
                  int32_t level);

// The words of layout (little-endian, layout.bytes each) of the n pixels of
// row y from x0 on into out: per pixel the colour path of the layout
// (rgba_colour_path when it has alpha, else rgb_colour_path) and rgb_word.
void encode_rgb_run(const RgbLayout &layout, const KvzaImage *image, const KotSaveOptions *options,
                    int32_t y, int32_t x0, uint32_t n, uint8_t *out);

// ------------------------------------------------------------ row packers
//
// All packers write rows from the bottom (y = height - 1) up, pixels from
// x = 0 rightwards, and pad every row with zero bytes to a multiple of 4.
// Every unit is counted with one progress step after its bytes were written
// (the units between two callbacks go out in one write). Units: one pixel
// for 8 bits per pixel and more, one output byte for the 1- and 4-bit
// layouts (leftmost pixel in the most significant bits, unused low bits 0).
// Returns 0 when done, 1 on a bad argument, a short write or no memory for
// a row, 2 when the progress callback asked to stop.

// Palette indices: kvza_nearpal_dit(mode 0, image->palette, 2^bits entries,
// pixel, weights 1, 1, 1, x, y, track 0, default table). bits: 1, 4 or 8.
int32_t pack_index_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                        KvzaProgress *progress, uint32_t bits);
// Grey: quantize_level(bits, x, y, track 0, (w + 1) x 0.5 limited to 0..1).
int32_t pack_grey_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                       KvzaProgress *progress, uint32_t bits);
// Alpha: quantize_level(bits, x, y, track 0, a limited to 0..1).
int32_t pack_alpha_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                        KvzaProgress *progress, uint32_t bits);
// RGB words of layout `id` (see find_rgb_layout) through the colour path
// (rgba_colour_path for a layout with alpha), little-endian, 2, 3 or 4 bytes
// per pixel. Unknown id: 1.
int32_t pack_rgb_rows(FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                      KvzaProgress *progress, int32_t id);

// ----------------------------------------------------------- option tables

// Marks pixel-type id (0..255) usable; other ids are ignored.
void set_usable(KotUsableTable *table, int32_t id);
// True when id (0..255) is in the table's usable set.
bool is_usable(const KotUsableTable *table, int32_t id);

// Zero-fills table and sets the BMP/ICO options: track 0 "Dither", track 1
// "Alpha Threshold", switches 0..2 (all off by default) and the usable ids.
void fill_alpha_option_table(KotUsableTable *table, std::span<const int16_t> usable_ids);
// Zero-fills table and sets the PNG options: the BMP/ICO tracks and switches
// with the dither off by default, track 2 "Compression" (0..9, default 6),
// switch 3 "Interlace" (off), and the usable ids.
void fill_png_option_table(KotUsableTable *table, std::span<const int16_t> usable_ids);
// Zero-fills table and sets the TGA options: track 0 "Dither", track 1
// "Palette Depth", no switches, and the usable ids.
void fill_palette_depth_table(KotUsableTable *table, std::span<const int16_t> usable_ids);

// kot_getusabletbl_img's copy: 1 when image, table_out or table is NULL or
// size is below KOT_USABLE_TABLE_SIZE (table_out untouched); else copies
// KOT_USABLE_TABLE_SIZE bytes and returns 0.
int32_t copy_table(KotUsableTable *table_out, uint32_t size, const KvzaImage *image,
                   const KotUsableTable *table);

enum class TableKind { AlphaOptions, PaletteDepth, PngOptions };

// What the save dialog says about one layout (kot_typehint): UTF-8 text.
struct TypeHint {
    int16_t id;
    const char *text;
};

// A writer's table in its static storage, built on first use, with the
// hints of its layouts:
//   kot::WriterTable g_table(kot::TableKind::AlphaOptions, kUsableIds, kHints);
// The constructor is constexpr, so a global of this type needs no start-up code.
class WriterTable {
  public:
    constexpr WriterTable(TableKind kind, std::span<const int16_t> usable_ids,
                          std::span<const TypeHint> hints = {})
        : kind_(kind), ids_(usable_ids), hints_(hints) {}
    // The table; zero-filled and filled on the first call, then unchanged.
    KotUsableTable *get();
    // copy_table of this table.
    int32_t copy_to(KotUsableTable *table_out, uint32_t size, const KvzaImage *image) {
        return copy_table(table_out, size, image, get());
    }
    // The hint of a usable id, or nullptr (unknown id, or nothing to say).
    const char *hint(int32_t id);

  private:
    TableKind kind_;
    std::span<const int16_t> ids_;
    std::span<const TypeHint> hints_;
    KotUsableTable table_{};
    bool built_ = false;
};

// ----------------------------------------------------------- save skeleton

// What a writer's body gets: the image, the options (never NULL), the
// progress record (may be NULL) and the open output.
struct SaveJob {
    KvzaImage *image;
    const KotSaveOptions *options;
    KvzaProgress *progress;
    FileWriter &out;
};
// Writes the file; returns 0, 1 or 2 like kot_save.
using SaveBody = int32_t (*)(SaveJob &job);

// The common frame of kot_save:
//  1. options or image NULL, width or height not positive: 1, no file touched;
//  2. open path "wb" (an open failure makes every write fail);
//  3. kvza_progress_setup(image, progress);
//  4. options->type not in table's usable set: 1 (the file stays empty);
//     otherwise status = body(job);
//  5. kvza_progress_final, always;
//  6. close; a failed final flush or close turns status 0 into 1.
int32_t run_save(KvzaImage *image, const char *path, const KotSaveOptions *options,
                 KvzaProgress *progress, const KotUsableTable *table, SaveBody body);

}  // namespace kot
