// The PNG layouts the writer offers and the samples of one row of each.
#pragma once

#include <cstdint>
#include <optional>

#include "index_stream.h"
#include "writer_common.h"

namespace kotpng {

// PNG colour types.
enum class ColourType : uint8_t { Grey = 0, Rgb = 2, Indexed = 3, GreyAlpha = 4, Rgba = 6 };

// One layout: its pixel-type id, colour type and bits per sample, and for the
// indexed layouts the alpha mode of the palette optimisation and matching.
struct PngLayout {
    int16_t id;
    ColourType colour_type;
    uint8_t depth;
    int32_t palette_mode;

    bool has_alpha() const {
        return colour_type == ColourType::GreyAlpha || colour_type == ColourType::Rgba ||
               palette_mode == KVZA_ALPHA_FULL;
    }
    uint32_t channels() const;
    // Bytes of one row of width pixels (no filter byte).
    uint64_t row_bytes(uint32_t width) const;
};

// The ids of every layout, in the save dialog's order.
extern const int16_t kLayoutIds[16];

// The layout of a pixel-type id, or nothing for an id the writer does not offer.
std::optional<PngLayout> find_layout(int32_t id);

// Makes the rows of one save: the samples of each pixel through the shared
// quantisation (8-bit and narrower: the writers' truncating quantiser;
// 16-bit: the exact one), alpha thresholds and background merge (layouts
// without alpha only), and for the indexed layouts the optimised palette's
// indices. One progress step per pixel on the calling thread.
class RowEncoder {
  public:
    // job.options must already hold the switches that apply to the layout.
    RowEncoder(kot::SaveJob &job, const PngLayout &layout, kot::IndexStream *indices)
        : job_(job), layout_(layout), indices_(indices) {}

    // Writes row y (top row 0) into out (row_bytes long, zeroed here).
    // Returns KOT_OK, or KOT_CANCELED when the progress callback asked to stop.
    int32_t encode(int32_t y, uint8_t *out);

  private:
    void put(uint8_t *out, uint64_t index, uint32_t value) const;
    uint32_t quantize(int32_t x, int32_t y, float v) const;

    kot::SaveJob &job_;
    PngLayout layout_;
    kot::IndexStream *indices_;
};

}  // namespace kotpng
