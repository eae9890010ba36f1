// Conversions between RGB, HLS and KVZ, and the chroma and hue measurements.
#include <cmath>

#include "internal.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kInvTwoPi = 0.15915494309189535;

// Hue in turns of an RGB colour that is not grey; the sector is chosen by
// which component is the smallest, tested in the order B, R, G.
double hue_of(double r, double g, double b, double mn, double mx) {
    const bool min_is_b = b == mn;
    const bool min_is_r = !min_is_b && r == mn;
    const double inv = 1.0 / mx;
    r *= inv;
    g *= inv;
    b *= inv;
    if (min_is_b) {
        if (r == g) return 1.0 / 6.0;
        const double rr = r - b, gg = g - b;
        return rr > gg ? (gg / rr) / 6.0 : (2.0 - rr / gg) / 6.0;
    }
    if (min_is_r) {
        if (g == b) return 0.5;
        const double gg = g - r, bb = b - r;
        return gg > bb ? (bb / gg + 2.0) / 6.0 : (4.0 - gg / bb) / 6.0;
    }
    if (b == r) return 5.0 / 6.0;
    const double bb = b - g, rr = r - g;
    return bb > rr ? (rr / bb + 4.0) / 6.0 : (6.0 - bb / rr) / 6.0;
}

}  // namespace

extern "C" {

KVZA_API void kvza_rgb2kvz(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const double r = src->c, g = src->s, b = src->w;
    const double mx = std::fmax(r, std::fmax(g, b));
    const double mn = std::fmin(r, std::fmin(g, b));
    const double l = (mx + mn) * 0.5;
    const double u = 1.0 - std::fabs(2.0 * l - 1.0);
    const double k = u != 0.0 ? (mx - mn) * std::sin(u * kPi / 2.0) / u : 0.0;
    double c = 0.0, s = 0.0;
    if (mx != mn) {
        const double h = hue_of(r, g, b, mn, mx);
        c = k * std::cos(kTwoPi * h);
        s = k * std::sin(kTwoPi * h);
    }
    dst->c = static_cast<float>(c);
    dst->s = static_cast<float>(s);
    dst->w = static_cast<float>(2.0 * l - 1.0);
}

KVZA_API void kvza_kvz2rgb(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const double c = src->c, s = src->s, w = src->w;
    const double l = (w + 1.0) * 0.5;
    const double k = std::sqrt(c * c + s * s);
    if (!(k > 0.0)) {
        dst->c = dst->s = dst->w = static_cast<float>(l);
        return;
    }
    const double u = 1.0 - std::fabs(2.0 * l - 1.0);
    const double range = u != 0.0 ? k * u / std::sin(u * kPi / 2.0) : 0.0;
    const double mx = l + range * 0.5;
    const double mn = mx - range;
    double v = std::atan2(s, c) * kInvTwoPi;
    if (!(v > 0.0)) v += 1.0;
    const double x = 6.0 * v;
    double r, g, b;
    if (x < 1.0) {
        r = mx, g = mn + range * x, b = mn;
    } else if (x < 2.0) {
        r = mx - range * (x - 1.0), g = mx, b = mn;
    } else if (x < 3.0) {
        r = mn, g = mx, b = mn + range * (x - 2.0);
    } else if (x < 4.0) {
        r = mn, g = mx - range * (x - 3.0), b = mx;
    } else if (x < 5.0) {
        r = mn + range * (x - 4.0), g = mn, b = mx;
    } else {
        r = mx, g = mn, b = mx - range * (x - 5.0);
    }
    dst->c = static_cast<float>(r);
    dst->s = static_cast<float>(g);
    dst->w = static_cast<float>(b);
}

KVZA_API void kvza_hls2kvz(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const double h = src->c, l = src->s, sat = src->w;
    const double angle = h * kTwoPi;
    const double r = sat * std::cos(((l - 0.5) * 2.0) * 0.5 * kPi);
    dst->c = static_cast<float>(r * std::cos(angle));
    dst->s = static_cast<float>(r * std::sin(angle));
    dst->w = static_cast<float>(2.0 * l - 1.0);
}

KVZA_API void kvza_rgba2kvza(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const float a = src->a;
    kvza_rgb2kvz(dst, src);
    dst->a = a;
}

KVZA_API void kvza_kvza2rgba(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const float a = src->a;
    kvza_kvz2rgb(dst, src);
    dst->a = a;
}

KVZA_API void kvza_hlsa2kvza(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    const float a = src->a;
    kvza_hls2kvz(dst, src);
    dst->a = a;
}

KVZA_API float kvza_getpixchroma(const KvzaPixel *pixel) {
    if (pixel == nullptr) return 0.0f;
    const double c = pixel->c, s = pixel->s;
    return static_cast<float>(std::sqrt(c * c + s * s));
}

KVZA_API float kvza_subhue(const KvzaPixel *p, const KvzaPixel *q) {
    if (p == nullptr || q == nullptr) return 0.0f;
    if ((p->c == 0.0f && p->s == 0.0f) || (q->c == 0.0f && q->s == 0.0f)) return 0.0f;
    const double pc = p->c, ps = p->s, qc = q->c, qs = q->s;
    return static_cast<float>(std::atan2(ps * qc - pc * qs, pc * qc + ps * qs) * kInvTwoPi);
}

}  // extern "C"
