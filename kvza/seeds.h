// Fixed starting palettes for the colour clustering; not exported.
#pragma once

#include <cstdint>

#include "kvza.h"

namespace kvza {

// The seed sizes that exist, smallest first.
inline constexpr uint32_t kSeedSizes[] = {2, 4, 8, 12, 16, 32, 64, 128, 256};

// Size of the seed used for a palette of n colours: the largest seed size
// not above n among 4 .. 256, else 2.
uint32_t seed_size_for(uint32_t n);

// Writes the seed of the given size (one of kSeedSizes) into out, which
// holds at least 256 entries, and returns the number of entries written
// (0 for a size that is not a seed).
uint32_t build_seed(uint32_t size, KvzaPixel *out);

}  // namespace kvza
