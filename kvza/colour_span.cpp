// Many colours converted at once, several lanes at a time, with exactly the
// results of kvza_rgb2kvz / kvza_kvz2rgb one pixel at a time.
//
// Method. Every step of the one-pixel conversion that is a single IEEE
// operation (add, multiply, divide, square root, comparison) is done here as
// the same operation on a lane, so it gives the same bits. Only sin, cos and
// atan2 differ: the lanes use polynomial approximations whose error is a few
// units in the last place of a double. From that error a bound follows on how
// far each computed double can lie from the one the reference computes, and
// a lane is kept only when every value within that bound rounds to the same
// float and falls on the same side of every branch the reference takes (the
// hue sectors, the wrap of a negative angle). Any other lane, and any input
// the lanes do not handle (NaN, infinities, negative or minus-zero channels
// in RGB), is converted by the one-pixel reference. The bounds are about a
// thousand times the approximations' error, so the reference runs only for
// results within about 2^-13 of zero relative to the colour's size, or next to
// a sector border: a small share of the pixels of any real picture.
//
// The file is compiled once per SIMD target (SSE2-class to AVX-512) and the
// best the processor has is picked at run time. Multiply-add contraction is
// off for this file: a fused multiply-add would round differently from the
// reference's separate multiply and add.

// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "colour_span.cpp"
#include "hwy/foreach_target.h"
// clang-format on

#include <cstdint>
#include <cstring>

#include "colour_span.h"
#include "hwy/contrib/math/math-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace kvza {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kInvTwoPi = 0.15915494309189535;
// Bounds of the approximations, relative to the colour's scale (see above).
constexpr double kTrigBound = 0x1p-42;  // sin, cos: k * cos and k * sin
constexpr double kTurnBound = 0x1p-40;  // 6 x turns of atan2
constexpr double kRampBound = 0x1p-38;  // RGB outputs, times |l| + |range|
// The approximations hold for arguments of a few thousand; u (1 at mid
// lightness, 0 at black and white) is below 0 only for lightness outside
// 0 .. 1, and far below it only for colours no picture holds.
constexpr double kMinU = -600.0;
constexpr size_t kBlock = 64;  // pixels per pass, a multiple of every lane count

using D = hn::ScalableTag<double>;
using DF = hn::Rebind<float, D>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// The float of v when every double within bound of v rounds to it; else the
// lane is marked in bad.
HWY_INLINE hn::Vec<DF> sure_float(V v, V bound, M &bad) {
    const DF df;
    const auto lo = hn::DemoteTo(df, hn::Sub(v, bound));
    const auto hi = hn::DemoteTo(df, hn::Add(v, bound));
    bad = hn::Or(bad, hn::Ne(hn::PromoteTo(D(), lo), hn::PromoteTo(D(), hi)));
    return lo;
}

// Channels in [+0, +inf): the lanes' min and max agree with the reference's
// fmin and fmax, and 1 / max is never a signed infinity.
HWY_INLINE M plain_channel(V v) {
    const D d;
    const V one = hn::Set(d, 1.0);
    return hn::And(hn::IsFinite(v), hn::Eq(hn::CopySign(one, v), one));
}

// The mask of lanes where yes (a mask) or else no holds, by the mask sel.
HWY_INLINE M select_mask(M sel, M yes, M no) {
    const D d;
    return hn::MaskFromVec(hn::IfThenElse(sel, hn::VecFromMask(d, yes), hn::VecFromMask(d, no)));
}

struct Planes {
    HWY_ALIGN double x[kBlock], y[kBlock], z[kBlock];
    HWY_ALIGN float oc[kBlock], os[kBlock], ow[kBlock];
    HWY_ALIGN double bad[kBlock];
};

void rgb2kvz_lanes(Planes &p) {
    const D d;
    const DF df;
    const size_t n = hn::Lanes(d);
    const V zero = hn::Zero(d), half = hn::Set(d, 0.5), one = hn::Set(d, 1.0),
            two = hn::Set(d, 2.0), six = hn::Set(d, 6.0), min_u = hn::Set(d, kMinU);
    for (size_t i = 0; i < kBlock; i += n) {
        const V r = hn::Load(d, p.x + i), g = hn::Load(d, p.y + i), b = hn::Load(d, p.z + i);
        M bad = hn::Not(hn::And(plain_channel(r), hn::And(plain_channel(g), plain_channel(b))));
        const V mx = hn::Max(r, hn::Max(g, b));
        const V mn = hn::Min(r, hn::Min(g, b));
        const V l = hn::Mul(hn::Add(mx, mn), half);
        const V t = hn::Sub(hn::Mul(two, l), one);
        const V u = hn::Sub(one, hn::Abs(t));
        bad = hn::Or(bad, hn::Not(hn::Ge(u, min_u)));
        // Halving is exact: x / 2 and x * 0.5 are the same double.
        const V sin_u = hn::Sin(d, hn::Mul(hn::Mul(u, hn::Set(d, kPi)), half));
        const V k =
            hn::IfThenElseZero(hn::Ne(u, zero), hn::Div(hn::Mul(hn::Sub(mx, mn), sin_u), u));

        // Hue in turns: the sector by the smallest channel (tested B, R, G),
        // then P > Q ? (Q / P + o) / 6 : (o + 2 - P / Q) / 6, or (o + 1) / 6
        // when the two larger channels are equal.
        const M min_b = hn::Eq(b, mn);
        const M min_r = hn::AndNot(min_b, hn::Eq(r, mn));
        const V inv = hn::Div(one, mx);
        const V rs = hn::Mul(r, inv), gs = hn::Mul(g, inv), bs = hn::Mul(b, inv);
        const V P = hn::IfThenElse(min_b, hn::Sub(rs, bs),
                                   hn::IfThenElse(min_r, hn::Sub(gs, rs), hn::Sub(bs, gs)));
        const V Q = hn::IfThenElse(min_b, hn::Sub(gs, bs),
                                   hn::IfThenElse(min_r, hn::Sub(bs, rs), hn::Sub(rs, gs)));
        const M eq =
            select_mask(min_b, hn::Eq(rs, gs), select_mask(min_r, hn::Eq(gs, bs), hn::Eq(bs, rs)));
        const V o = hn::IfThenElse(min_b, zero, hn::IfThenElse(min_r, two, hn::Set(d, 4.0)));
        const M gt = hn::Gt(P, Q);
        const V q = hn::Div(hn::IfThenElse(gt, Q, P), hn::IfThenElse(gt, P, Q));
        const V num = hn::IfThenElse(gt, hn::Add(q, o), hn::Sub(hn::Add(o, two), q));
        // One division of the chosen numerator: the same quotient in every lane.
        const V h = hn::Div(hn::IfThenElse(eq, hn::Add(o, one), num), six);

        const V angle = hn::Mul(hn::Set(d, kTwoPi), h);
        const M grey = hn::Eq(mx, mn);
        const V c = hn::IfThenZeroElse(grey, hn::Mul(k, hn::Cos(d, angle)));
        const V s = hn::IfThenZeroElse(grey, hn::Mul(k, hn::Sin(d, angle)));
        const V bound = hn::IfThenZeroElse(grey, hn::Mul(hn::Abs(k), hn::Set(d, kTrigBound)));
        hn::Store(sure_float(c, bound, bad), df, p.oc + i);
        hn::Store(sure_float(s, bound, bad), df, p.os + i);
        hn::Store(hn::DemoteTo(df, t), df, p.ow + i);
        hn::Store(hn::VecFromMask(d, bad), d, p.bad + i);
    }
}

void kvz2rgb_lanes(Planes &p) {
    const D d;
    const DF df;
    const size_t n = hn::Lanes(d);
    const V zero = hn::Zero(d), half = hn::Set(d, 0.5), one = hn::Set(d, 1.0),
            two = hn::Set(d, 2.0), six = hn::Set(d, 6.0), pi = hn::Set(d, kPi),
            min_u = hn::Set(d, kMinU);
    const V turn_bound = hn::Set(d, kTurnBound);
    // The reference's sector: how many of 1 .. 5 x has reached.
    auto sector = [&](V x) {
        V j = zero;
        for (int t = 1; t <= 5; ++t)
            j = hn::Add(j, hn::IfThenElseZero(hn::Ge(x, hn::Set(d, t)), one));
        return j;
    };
    for (size_t i = 0; i < kBlock; i += n) {
        const V c = hn::Load(d, p.x + i), s = hn::Load(d, p.y + i), w = hn::Load(d, p.z + i);
        M bad = hn::Not(hn::And(hn::IsFinite(c), hn::And(hn::IsFinite(s), hn::IsFinite(w))));
        const V l = hn::Mul(hn::Add(w, one), half);
        const V k = hn::Sqrt(hn::Add(hn::Mul(c, c), hn::Mul(s, s)));
        const M grey = hn::Not(hn::Gt(k, zero));
        const V u = hn::Sub(one, hn::Abs(hn::Sub(hn::Mul(two, l), one)));
        bad = hn::Or(bad, hn::Not(hn::Ge(u, min_u)));
        const V sin_u = hn::Sin(d, hn::Mul(hn::Mul(u, pi), half));  // x / 2 exactly
        const V range = hn::IfThenElseZero(hn::Ne(u, zero), hn::Div(hn::Mul(k, u), sin_u));
        const V mx = hn::Add(l, hn::Mul(range, half));
        const V mn = hn::Sub(mx, range);

        // atan2(s, c) from atan(s / c): half a turn added with the sign of s
        // for c < 0, a quarter turn with the sign of s for c = 0.
        const V at = hn::Atan(d, hn::Div(s, c));
        const V angle =
            hn::IfThenElse(hn::Gt(c, zero), at,
                           hn::IfThenElse(hn::Lt(c, zero), hn::Add(at, hn::CopySign(pi, s)),
                                          hn::CopySign(hn::Set(d, kPi / 2.0), s)));
        V v = hn::Mul(angle, hn::Set(d, kInvTwoPi));
        const M wrap_unsure =
            hn::AndNot(hn::Gt(hn::Sub(v, turn_bound), zero), hn::Gt(hn::Add(v, turn_bound), zero));
        v = hn::IfThenElse(hn::Not(hn::Gt(v, zero)), hn::Add(v, one), v);
        const V x = hn::Mul(six, v);
        const V j = sector(x);
        const M sector_unsure =
            hn::Ne(sector(hn::Sub(x, turn_bound)), sector(hn::Add(x, turn_bound)));
        bad = hn::Or(bad, hn::AndNot(grey, hn::And(hn::Ne(range, zero),
                                                   hn::Or(wrap_unsure, sector_unsure))));

        const V f = hn::Sub(x, j);
        const V up = hn::Add(mn, hn::Mul(range, f));
        const V down = hn::Sub(mx, hn::Mul(range, f));
        const M j0 = hn::Eq(j, zero), j1 = hn::Eq(j, one), j2 = hn::Eq(j, two),
                j3 = hn::Eq(j, hn::Set(d, 3.0)), j4 = hn::Eq(j, hn::Set(d, 4.0));
        V r = hn::IfThenElse(j1, down,
                             hn::IfThenElse(hn::Or(j2, j3), mn, hn::IfThenElse(j4, up, mx)));
        V g = hn::IfThenElse(j0, up,
                             hn::IfThenElse(hn::Or(j1, j2), mx, hn::IfThenElse(j3, down, mn)));
        V b = hn::IfThenElse(hn::Or(j0, j1), mn,
                             hn::IfThenElse(j2, up, hn::IfThenElse(hn::Or(j3, j4), mx, down)));
        r = hn::IfThenElse(grey, l, r);
        g = hn::IfThenElse(grey, l, g);
        b = hn::IfThenElse(grey, l, b);
        const V bound = hn::IfThenZeroElse(
            grey, hn::Mul(hn::Add(hn::Abs(l), hn::Abs(range)), hn::Set(d, kRampBound)));
        hn::Store(sure_float(r, bound, bad), df, p.oc + i);
        hn::Store(sure_float(g, bound, bad), df, p.os + i);
        hn::Store(sure_float(b, bound, bad), df, p.ow + i);
        hn::Store(hn::VecFromMask(d, bad), d, p.bad + i);
    }
}

// Runs lanes over blocks of the span; the marked lanes go to reference().
// The pixels move between the span and the planes in lanes (the floats widen
// to doubles exactly, and alpha is written back as it was); a last, partial
// block goes through a whole block of copies, padded with zeros.
template <class Lanes, class Reference>
HWY_INLINE void run_span(KvzaPixel *dst, const KvzaPixel *src, size_t count, Lanes lanes,
                         Reference reference) {
    const D d;
    const DF df;
    const size_t n = hn::Lanes(d);
    Planes p;
    HWY_ALIGN KvzaPixel tail_in[kBlock], tail_out[kBlock];
    for (size_t at = 0; at < count; at += kBlock) {
        const size_t m = count - at < kBlock ? count - at : kBlock;
        const KvzaPixel *in = src + at;
        KvzaPixel *out = dst + at;
        if (m < kBlock) {
            for (size_t i = 0; i < kBlock; ++i) {
                tail_in[i] = i < m ? in[i] : KvzaPixel{};
                tail_out[i] = i < m ? out[i] : KvzaPixel{};
            }
            in = tail_in;
            out = tail_out;
        }
        for (size_t i = 0; i < kBlock; i += n) {
            hn::Vec<DF> c, s, w, a;
            hn::LoadInterleaved4(df, &in[i].c, c, s, w, a);
            hn::Store(hn::PromoteTo(d, c), d, p.x + i);
            hn::Store(hn::PromoteTo(d, s), d, p.y + i);
            hn::Store(hn::PromoteTo(d, w), d, p.z + i);
        }
        lanes(p);
        for (size_t i = 0; i < kBlock; i += n) {
            hn::Vec<DF> c, s, w, a;
            hn::LoadInterleaved4(df, &out[i].c, c, s, w, a);
            hn::StoreInterleaved4(hn::Load(df, p.oc + i), hn::Load(df, p.os + i),
                                  hn::Load(df, p.ow + i), a, df, &out[i].c);
        }
        for (size_t i = 0; i < m; ++i) {
            if (p.bad[i] != 0.0) {  // all bits set: a NaN pattern, unequal to 0
                const KvzaPixel from{static_cast<float>(p.x[i]), static_cast<float>(p.y[i]),
                                     static_cast<float>(p.z[i]), 0.0f};
                reference(&out[i], &from);
            }
        }
        if (m < kBlock)
            for (size_t i = 0; i < m; ++i) dst[at + i] = tail_out[i];
    }
}

#if HWY_TARGET == HWY_SCALAR
// One lane: the approximations and checks cost more than they save.
void Rgb2KvzSpan(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    for (size_t i = 0; i < count; ++i) kvza_rgb2kvz(&dst[i], &src[i]);
}

void Kvz2RgbSpan(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    for (size_t i = 0; i < count; ++i) kvza_kvz2rgb(&dst[i], &src[i]);
}
#else
void Rgb2KvzSpan(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    run_span(dst, src, count, rgb2kvz_lanes, kvza_rgb2kvz);
}

void Kvz2RgbSpan(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    run_span(dst, src, count, kvz2rgb_lanes, kvza_kvz2rgb);
}
#endif

}  // namespace HWY_NAMESPACE
}  // namespace kvza
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kvza {

HWY_EXPORT(Rgb2KvzSpan);
HWY_EXPORT(Kvz2RgbSpan);

void rgb2kvz_span(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    HWY_DYNAMIC_DISPATCH(Rgb2KvzSpan)(dst, src, count);
}

void kvz2rgb_span(KvzaPixel *dst, const KvzaPixel *src, size_t count) {
    HWY_DYNAMIC_DISPATCH(Kvz2RgbSpan)(dst, src, count);
}

}  // namespace kvza

extern "C" {

KVZA_API void kvza_rgb2kvz_n(KvzaPixel *dst, const KvzaPixel *src, uint64_t count) {
    if (dst == nullptr || src == nullptr) return;
    kvza::run_parts(
        count, [&](uint64_t b, uint64_t e) { kvza::rgb2kvz_span(dst + b, src + b, e - b); },
        kvza::kSpanParallelMin);
}

KVZA_API void kvza_kvz2rgb_n(KvzaPixel *dst, const KvzaPixel *src, uint64_t count) {
    if (dst == nullptr || src == nullptr) return;
    kvza::run_parts(
        count, [&](uint64_t b, uint64_t e) { kvza::kvz2rgb_span(dst + b, src + b, e - b); },
        kvza::kSpanParallelMin);
}

}  // extern "C"
#endif  // HWY_ONCE
