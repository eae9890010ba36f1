// palette_lanes.h - the nearest palette entries of a colour, as many entries
// at a time as the processor's widest lanes hold, from a palette laid out
// channel by channel once for many colours. The result is scan_reference's
// (without its test for an entry holding the colour's bytes, which the
// caller makes first).
#pragma once

#include <cstdint>
#include <vector>

#include "palette_scan.h"

namespace kvza {

class PaletteLanes {
  public:
    // Entries padded to a multiple of every lane count; padding never wins.
    static constexpr uint32_t kAlign = 16;

    // Empty (usable() false) without memory.
    PaletteLanes(const KvzaPixel *palette, uint32_t count);
    bool usable() const { return count_ != 0; }

    // scan_reference(mode, track_second) of target p, no entry holding the
    // colour's bytes.
    Nearest nearest(int32_t mode, bool track_second, const KvzaPixel &p, float wc, float ww,
                    float wa) const;

  private:
    uint32_t count_ = 0;
    uint32_t padded_ = 0;
    std::vector<float> channels_;  // c, s, w and a of every entry, channel after channel
};

}  // namespace kvza
