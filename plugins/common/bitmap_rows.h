// bitmap_rows.h - decoding of bitmap pixel rows shared by the BMP readers:
// channel masks, colour tables, uncompressed rows and the 1-bit icon mask.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace kincommon {

// One channel's mask, prepared for extraction.
struct Channel {
    uint32_t mask = 0;
    int bits = 0;            // set bits of the mask
    int shift = 0;           // lowest set bit, for a contiguous mask
    bool contiguous = true;  // the set bits form one run
    double levels = 0;       // 2^bits - 1

    explicit Channel(uint32_t m = 0) : mask(m) {
        for (uint32_t v = m; v != 0; v &= v - 1) ++bits;
        if (m != 0) {
            while (((m >> shift) & 1U) == 0) ++shift;
            const uint64_t run = (static_cast<uint64_t>(m) >> shift) + 1;
            contiguous = (run & (run - 1)) == 0;
        }
        levels = static_cast<double>((uint64_t{1} << bits) - 1);
    }

    // The bits of v under the mask, gathered with the lowest set bit as bit 0.
    uint32_t gather(uint32_t v) const {
        if (contiguous) return (v & mask) >> shift;
        uint32_t gathered = 0;
        int out = 0;
        for (uint32_t m = mask; m != 0; m &= m - 1, ++out)
            if ((v & m & (~m + 1)) != 0) gathered |= 1U << out;
        return gathered;
    }

    // The gathered bits over 2^bits - 1, rounded to single precision. An
    // empty mask gives 0.
    float scale(uint32_t gathered) const {
        if (bits == 0) return 0.0f;
        return static_cast<float>(static_cast<double>(gathered) / levels);
    }
};

// A channel with its values precomputed when it has at most 16 bits and the
// data holds more pixels than the channel has levels, so that decoding
// divides once per level instead of once per pixel.
class ChannelReader {
  public:
    ChannelReader(const Channel &c, uint64_t pixels) : channel_(c) {
        if (c.bits == 0 || c.bits > 16) return;
        const uint32_t n = 1U << c.bits;
        if (pixels <= n) return;
        table_ = static_cast<float *>(std::malloc(n * sizeof(float)));
        if (table_ == nullptr) return;  // fall back to dividing per pixel
        for (uint32_t i = 0; i < n; ++i) table_[i] = c.scale(i);
    }
    ~ChannelReader() { std::free(table_); }
    ChannelReader(const ChannelReader &) = delete;
    ChannelReader &operator=(const ChannelReader &) = delete;

    float value(uint32_t v) const {
        const uint32_t g = channel_.gather(v);
        return table_ != nullptr ? table_[g] : channel_.scale(g);
    }

  private:
    const Channel &channel_;
    float *table_ = nullptr;
};

// The channel masks of a 16-, 24- or 32-bit layout; an empty alpha mask
// makes every pixel opaque.
struct Masks {
    Channel red, green, blue, alpha;
};

// A bitmap's pixel data inside a buffer.
struct Rows {
    uint64_t start = 0;  // buffer position of stored row 0
    uint32_t width = 0;
    uint32_t height = 0;
    bool top_down = false;
    uint16_t bpp = 0;
};

// The masks of BI_RGB data: 5-5-5 for 16 bits, 8-8-8 otherwise.
Masks fixed_masks(uint16_t bpp);

// Pixel-type id of a 16-, 24- or 32-bit layout, from its channel bit counts.
int16_t pixtype_of(uint16_t bpp, const Masks &m);

// Colour table entries of a paletted depth (1, 4, 8); 0 for the others.
uint32_t palette_entries(uint16_t bpp);

// Converts a colour table of entry_bytes-sized blue, green, red entries at
// buffer position pos into the image's palette. False when it does not fit.
bool read_palette(KvzaImage *image, const Buffer &buf, uint64_t pos, uint32_t entries,
                  uint32_t entry_bytes);

// Bytes of one row padded to a multiple of 4.
uint64_t row_stride(uint16_t bpp, uint32_t width);

// The image row of stored row i.
int32_t image_row(const Rows &r, uint32_t i);

// Decodes the rows into the image; 0 done, 1 data short, 2 cancelled.
int32_t decode_rows(KvzaImage *image, const Buffer &buf, const Rows &r, const Masks &masks,
                    KvzaProgress *progress);

// Makes the pixels under set bits of the icon's 1-bit mask transparent.
int32_t apply_mask(KvzaImage *image, const Buffer &buf, const Rows &colour);

}  // namespace kincommon
