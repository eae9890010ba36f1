// clip_inline.h - kvza_cliprgba as an inline function, for the loops that
// clip every pixel of a picture (the view, the writers); the library's export
// is this same function.
#pragma once

#include "kvza.h"

namespace kvza {

// A channel limited to 0 .. 1; not greater than 0 (not a number included)
// becomes 0.
inline float clip_unit(float v) {
    return !(v > 0.0f) ? 0.0f : (v >= 1.0f ? 1.0f : v);
}

// Each float of an RGBA record limited to 0 .. 1.
inline KvzaPixel clip_rgba(const KvzaPixel &p) {
    return {clip_unit(p.c), clip_unit(p.s), clip_unit(p.w), clip_unit(p.a)};
}

}  // namespace kvza
