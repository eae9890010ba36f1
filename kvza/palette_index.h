// palette_index.h - the nearest entries of many colours in one palette:
// an entry holding a colour's 16 bytes is found through a table of the
// entries' bytes built once (a picture reduced before is nearly all such
// colours), any other colour by the lane scan over the palette laid out
// channel by channel, also once. The result is scan_reference's.
#pragma once

#include <cstdint>
#include <vector>

#include "palette_lanes.h"
#include "palette_scan.h"

namespace kvza {

class PaletteIndex {
  public:
    // For more than 256 entries (or without memory for the table) usable()
    // is false.
    PaletteIndex(const KvzaPixel *palette, uint32_t count, float wc, float ww, float wa);
    bool usable() const { return usable_; }

    // scan_reference(mode, track_second) of colour with target p.
    Nearest nearest(int32_t mode, bool track_second, const KvzaPixel &colour,
                    const KvzaPixel &p) const;

  private:
    int32_t exact_entry(const KvzaPixel &colour) const;

    const KvzaPixel *palette_;
    uint32_t count_;
    float wc_, ww_, wa_;
    bool usable_ = false;
    std::vector<int16_t> slots_;  // first entry of each 16-byte value, open addressing
    PaletteLanes lanes_;
};

}  // namespace kvza
