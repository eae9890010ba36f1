// tga_pixels.h - the pixel rules of TGA files shared by the TGA readers: the
// header fields, the alpha information of the extension area, the colour
// conversions and the store of one pixel after another in file order with
// its progress count. Every TGA reader decodes its pixels through TgaPixels,
// so the same bytes give the same pixels whichever reader opens the file.
#pragma once

#include <cstdint>

#include "colour_cache.h"
#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace kincommon {

inline constexpr int64_t kTgaHeaderBytes = 18;

// What the image type byte says the pixels are.
enum class TgaKind : uint8_t { Unknown, Mapped, TrueColour, Grey };

// The 18 header bytes as stored, with what the type byte means.
struct TgaHeader {
    uint8_t id_length = 0;
    uint8_t map_type = 0;
    uint8_t type = 0;
    uint16_t first_index = 0;  // index value of colour map entry 0
    uint16_t map_length = 0;
    uint8_t entry_bits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 0;
    uint8_t attribute_bits = 0;  // descriptor bits 0-3
    bool top_down = false;       // descriptor bit 5
    TgaKind kind = TgaKind::Unknown;
    bool run_length = false;  // types 9, 10, 11

    uint64_t pixel_count() const { return uint64_t{width} * height; }
    uint32_t pixel_bytes() const { return depth / 8U; }
    // Bytes of the colour map the header announces (whatever the image type).
    uint64_t map_bytes() const { return uint64_t{map_length} * (entry_bits / 8U); }
};

// Reads the header at offset; false when the file holds fewer than 18 bytes
// there. Checks nothing else: each reader has its own acceptance rules.
bool read_tga_header(File &file, int64_t offset, TgaHeader &h);

// Whether the depth is one the kind has a pixel layout for: indices of 8 or
// 16 bits, colour of 16, 24 or 32 bits, grey of 8 to 32 bits.
bool tga_layout_supported(const TgaHeader &h);

// How the file's alpha is to be taken, from the attributes type of its
// extension area.
enum class TgaAlpha : uint8_t {
    Attribute,      // as the descriptor's attribute bits say (also without an extension area)
    None,           // no alpha data, or alpha to be ignored: opaque
    Premultiplied,  // attribute bits hold alpha, and the colour was multiplied by it
};

// Looks for the footer at the end of the file and the extension area it
// points to (counted from offset); Attribute when either is missing or does
// not fit the file.
TgaAlpha read_tga_alpha(File &file, int64_t offset);

// Colour conversions of 16-, 24- and 32-bit entries and pixels. Each gives
// the RGBA record (alpha in the fourth float).
class TgaColour {
  public:
    TgaColour(uint8_t attribute_bits, TgaAlpha alpha);
    KvzaPixel convert(const uint8_t *p, uint8_t bits) const;
    // The alpha of an attribute field value.
    float alpha_of(uint32_t attribute) const;
    // Whether a colour with this alpha is stored multiplied by it, and the
    // level divided back, limited to 1.
    bool divides(float alpha) const;
    static float divided(float level, float alpha);
    // Divides the colour by the alpha when the file stores it premultiplied.
    void unpremultiply(KvzaPixel &rgba) const;

  private:
    bool has_alpha_;  // attribute bits count and are not to be ignored
    bool premultiplied_;
    float alpha_scale_;  // 1 / (2^b - 1)
    uint32_t alpha_mask_;
};

// Stores the pixels of one image in file order: stored row i goes to image
// row i when the rows are top-down, else to row height - 1 - i. The caller
// feeds pixel_bytes() bytes per pixel and stops at left() == 0.
class TgaPixels {
  public:
    // map: the colour map bytes (mapped kinds), map_length entries.
    TgaPixels(KvzaImage *image, const TgaHeader &h, TgaAlpha alpha, const uint8_t *map,
              KvzaProgress *progress);

    // Converts the first (at most 256) colour map entries into the palette.
    void set_palette();
    // Stores the pixel at p at the next position and counts it; false when
    // the progress callback asks to stop.
    bool put(const uint8_t *p);
    uint64_t left() const { return count_ - stored_; }
    // Stores every pixel from data (left() x pixel_bytes() bytes); KIN_OK or
    // KIN_CANCELED.
    int32_t put_all(const uint8_t *data);

  private:
    KvzaPixel grey(const uint8_t *p) const;
    // Stores an RGBA colour into the pixel in KVZ form.
    void store_rgba(KvzaPixel *dst, const KvzaPixel &rgba);

    KvzaImage *image_;
    const TgaHeader h_;
    const TgaColour colour_;
    const uint8_t *map_;
    KvzaProgress *progress_;
    bool grey_alpha_;   // 16-bit grey with 8 attribute bits: grey byte, alpha byte
    float grey_scale_;  // w = v x k - 1
    uint64_t count_;
    uint64_t stored_ = 0;
    uint32_t x_ = 0;
    uint32_t row_ = 0;
    kvza::ColourCache<kvza::RgbBits> colours_;
};

}  // namespace kincommon
