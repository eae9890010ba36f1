// png_format.h - a decoder over the bytes of one PNG file, and what its
// header and the chunks before the image data say about the pixel layout.
#pragma once

#include <spng.h>

#include <cstddef>
#include <cstdint>

namespace kinpng {

// PNG colour types.
enum class ColourType : uint8_t {
    kGrey = 0,
    kRgb = 2,
    kPalette = 3,
    kGreyAlpha = 4,
    kRgba = 6,
};

// The pixel layout of the image data, the palette and the transparency.
struct Format {
    uint32_t width = 0;
    uint32_t height = 0;
    ColourType colour = ColourType::kGrey;
    uint8_t depth = 0;  // bits per sample
    bool interlaced = false;
    spng_plte palette{};  // entries of PLTE (palette files)
    bool has_trns = false;
    spng_trns trns{};

    uint32_t channels() const;
    uint32_t bits_per_pixel() const { return channels() * depth; }
    // Bytes of one decoded row of the full width.
    uint64_t row_bytes() const { return (static_cast<uint64_t>(bits_per_pixel()) * width + 7) / 8; }
    // A grey or RGB key that a sample of this depth can equal.
    bool has_key() const;
    // A palette file whose tRNS makes an entry less than opaque.
    bool palette_alpha() const;
};

// libspng over the bytes of one file, with the strictest checksum handling,
// chunk limits bounded by the file's size and no colour transformation.
class Decoder {
  public:
    // With checksums false, the chunk checksums are left to the caller
    // (chunks_sound), so that data before a damaged checksum still decodes.
    Decoder(const uint8_t *data, size_t size, bool checksums = true);
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Reads the header and every chunk before the image data into format.
    // False when libspng refuses them, a palette file lacks PLTE, or the
    // rows the header announces need more bytes than the file can inflate to.
    bool accept(Format &format);

    spng_ctx *ctx() const { return ctx_; }

  private:
    spng_ctx *ctx_;
    size_t size_;
};

// Pixel-type id of the layout (the ids of the save dialog's list).
int16_t pixtype_of(const Format &format);

}  // namespace kinpng
