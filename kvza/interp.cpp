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
    const KvzaPixel a = *p;
    const KvzaPixel b = *q;
    KvzaPixel r;
    // Alpha is zero only when it equals zero exactly (either sign).
    if (a.a == 0.0f && b.a != 0.0f) {
        r = b;
    } else if (b.a == 0.0f) {
        r = a;
    } else {
        r.c = static_cast<float>(a.c + t * (static_cast<double>(b.c) - a.c));
        r.s = static_cast<float>(a.s + t * (static_cast<double>(b.s) - a.s));
        r.w = static_cast<float>(a.w + t * (static_cast<double>(b.w) - a.w));
    }
    r.a = static_cast<float>(a.a + t * (static_cast<double>(b.a) - a.a));
    *dst = r;
}

KVZA_API void kvza_blend2(KvzaPixel *dst, const KvzaPixel *p, const KvzaPixel *q) {
    if (dst == nullptr) return;
    if (p == nullptr || q == nullptr) {
        kvza_interp(dst, p, q, 0.0);
        return;
    }
    const double sum = static_cast<double>(p->a) + q->a;
    const double t = sum != 0.0 ? p->a / sum : 0.5;
    kvza_interp(dst, p, q, t);
}

}  // extern "C"
