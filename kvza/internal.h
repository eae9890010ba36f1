// Helpers shared by the library's source files; nothing here is exported.
#pragma once

#include <cstdint>
#include <cstring>

#include "byte_float.h"
#include "kvza.h"

namespace kvza {

// Number of pixels of an image, in 64 bits.
inline uint64_t pixel_count(const KvzaImage *image) {
    return static_cast<uint64_t>(static_cast<uint32_t>(image->width)) *
           static_cast<uint32_t>(image->height);
}

// Read-only pixel address under the wrap modes.
inline const KvzaPixel *getpix(const KvzaImage *image, int32_t x, int32_t y) {
    return kvza_getpixptr(const_cast<KvzaImage *>(image), x, y);
}

// True when a and b hold the same 16 bytes.
inline bool same_bytes(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof(KvzaPixel)) == 0;
}

// Counts one step; true when the operation must stop.
inline bool step(KvzaProgress *progress) {
    return progress != nullptr && kvza_progress_count(nullptr, progress) != 0;
}

// Two-point mixing: p and q by weight t, a fully transparent end lending no
// colour (alpha is zero only when it equals zero exactly). Inline so the
// resampling loops avoid a call through the dynamic symbol table.
inline KvzaPixel mix(const KvzaPixel &p, const KvzaPixel &q, double t) {
    KvzaPixel r;
    if (p.a == 0.0f && q.a != 0.0f) {
        r = q;
    } else if (q.a == 0.0f) {
        r = p;
    } else {
        r.c = static_cast<float>(p.c + t * (static_cast<double>(q.c) - p.c));
        r.s = static_cast<float>(p.s + t * (static_cast<double>(q.s) - p.s));
        r.w = static_cast<float>(p.w + t * (static_cast<double>(q.w) - p.w));
    }
    r.a = static_cast<float>(p.a + t * (static_cast<double>(q.a) - p.a));
    return r;
}

// Mixing of two estimates of one pixel: each colour is weighted by the other
// estimate's alpha.
inline KvzaPixel blend(const KvzaPixel &p, const KvzaPixel &q) {
    const double sum = static_cast<double>(p.a) + q.a;
    const double t = sum != 0.0 ? p.a / sum : 0.5;
    return mix(p, q, t);
}

}  // namespace kvza
