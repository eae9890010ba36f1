// colour_span.h - the colour model's conversions over many pixels at once,
// with the bits of the one-pixel functions (see colour_span.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvza.h"
#include "parallel.h"

namespace kvza {

// Below this many pixels a span is converted on the calling thread alone.
inline constexpr uint64_t kSpanParallelMin = 1 << 16;

// kvza_rgb2kvz / kvza_kvz2rgb of src[i] into dst[i] for i < count, on the
// calling thread; dst is src or does not overlap it; alpha is untouched.
void rgb2kvz_span(KvzaPixel *dst, const KvzaPixel *src, size_t count);
void kvz2rgb_span(KvzaPixel *dst, const KvzaPixel *src, size_t count);

}  // namespace kvza
