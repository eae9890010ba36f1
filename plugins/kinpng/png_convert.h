// png_convert.h - decoded scanlines to KVZA pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "colour_cache.h"
#include "kvza.h"
#include "png_format.h"

namespace kinpng {

// A grey or RGB key of tRNS: pixels with these samples are transparent.
struct Key {
    bool on = false;
    uint32_t value[3] = {0, 0, 0};
};
// Exact colours of recently converted samples, keyed by the red, green and
// blue samples as stored; one per converting thread.
using ColourCache = kvza::ColourCache<uint64_t>;

using RunFn = void (*)(const uint8_t *samples, uint32_t count, KvzaPixel *out, const Key &key,
                       ColourCache &cache);

// Turns the samples of a decoded scanline (packed as stored, 16-bit samples
// big-endian) into pixels. Holds no reference to the decoder, so rows
// can be converted on several threads at once.
class RowConverter {
  public:
    // palette: the image's palette, already filled from the file.
    RowConverter(const Format &format, const KvzaPixel *palette);

    // Converts count pixels of samples into out. Returns count, or for a
    // palette file the number of pixels before the first index past the
    // palette's entries.
    // cache belongs to the calling thread.
    uint32_t convert(const uint8_t *samples, uint32_t count, KvzaPixel *out,
                     ColourCache &cache) const;

  private:
    uint32_t convert_indexed(const uint8_t *samples, uint32_t count, KvzaPixel *out) const;

    Format format_;
    Key key_;
    RunFn run_ = nullptr;  // 8- and 16-bit layouts other than palette and low grey
    // Low-depth and 8-bit grey, and palette files: the pixel of each sample value.
    std::vector<KvzaPixel> table_;
    uint32_t table_entries_ = 0;  // values below this have a pixel
};

// The KVZ form of the palette entries with their alpha from tRNS, written
// to image->palette; entries past the PLTE count are left as they are.
void write_palette(KvzaImage *image, const Format &format);

}  // namespace kinpng
