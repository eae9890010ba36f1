// Two-point mixing that never lends a transparent end's colour, and the
// symmetric mixing of two estimates.
#include "internal.h"

extern "C" {

KVZA_API void kvza_interp(KvzaPixel *dst, const KvzaPixel *p, const KvzaPixel *q, double t) {
    if (dst == nullptr) return;
    if (p == nullptr || q == nullptr) {
        if (p != nullptr) *dst = *p;
        if (q != nullptr) *dst = *q;
        return;
    }
    *dst = kvza::mix(*p, *q, t);
}

KVZA_API void kvza_blend2(KvzaPixel *dst, const KvzaPixel *p, const KvzaPixel *q) {
    if (dst == nullptr) return;
    if (p == nullptr || q == nullptr) {
        kvza_interp(dst, p, q, 0.0);
        return;
    }
    *dst = kvza::blend(*p, *q);
}

}  // extern "C"
