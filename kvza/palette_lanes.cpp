// The palette scan in lanes. Each lane keeps the best and second entries of
// the entries it sees (lane j sees entries j, j + N, j + 2N, ... in index
// order) by exactly the reference's rule, with every distance made of the
// reference's float operations in its order; the lanes are then merged by
// distance and, among equal distances, by index. That gives the reference's
// answer: the best is the first entry of the smallest distance, the second
// the first of the smallest among the others, and distances that are not a
// number or infinite never win.
//
// Compiled once per SIMD target and chosen at run time; multiply-add
// contraction is off for this file (a fused multiply-add rounds otherwise).

// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "palette_lanes.cpp"
#include "hwy/foreach_target.h"
// clang-format on

#include <climits>
#include <cstdint>
#include <limits>
#include <new>
#include <type_traits>

#include "hwy/highway.h"
#include "palette_lanes.h"

HWY_BEFORE_NAMESPACE();
namespace kvza {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;

// The entry nearest first, then lowest in index, among the lanes whose index
// is not negative (their distances are never +inf or not a number), as a
// lane number; -1 when there is none. Equal distances are equal as the
// scalar comparison has them (-0 == +0).
template <class VF, class VI>
HWY_INLINE intptr_t FirstOfLanes(VF d, VI i) {
    const DF df;
    const DI di;
    const auto inf = hn::Set(df, std::numeric_limits<float>::infinity());
    const auto valid = hn::RebindMask(df, hn::Gt(i, hn::Set(di, -1)));
    const auto least = hn::MinOfLanes(df, hn::IfThenElse(valid, d, inf));
    if (hn::GetLane(least) == std::numeric_limits<float>::infinity()) return -1;
    const auto tie = hn::And(valid, hn::Eq(d, least));
    const auto lowest =
        hn::MinOfLanes(di, hn::IfThenElse(hn::RebindMask(di, tie), i, hn::Set(di, INT32_MAX)));
    return hn::FindFirstTrue(di, hn::Eq(i, lowest));
}

// The lanes' best and second entries merged without a branch per lane: the
// best is the first by distance and index of the lanes' bests; the second
// the first of the other lanes' bests and the winning lane's second.
template <bool track_second, class VF, class VI>
HWY_INLINE Nearest MergeLanes(VF best, VI best_i, VF second, VI second_i) {
    const DF df;
    const DI di;
    constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(float);
    Nearest n;
    const intptr_t win = FirstOfLanes(best, best_i);
    if (win < 0) return n;  // nothing finite: entry 0, no second
    float d[kMaxLanes];
    int32_t i[kMaxLanes];
    hn::StoreU(best, df, d);
    hn::StoreU(best_i, di, i);
    n.best = d[win];
    n.best_i = i[win];
    if constexpr (track_second) {
        const auto at_win = hn::Eq(best_i, hn::Set(di, n.best_i));
        const auto cd = hn::IfThenElse(hn::RebindMask(df, at_win), second, best);
        const auto ci = hn::IfThenElse(at_win, second_i, best_i);
        const intptr_t runner = FirstOfLanes(cd, ci);
        if (runner >= 0) {
            hn::StoreU(cd, df, d);
            hn::StoreU(ci, di, i);
            n.second = d[runner];
            n.second_i = i[runner];
        }
    }
    return n;
}

template <int32_t mode, bool track_second>
Nearest ScanLanes(const float *c, const float *s, const float *w, const float *a, uint32_t padded,
                  const KvzaPixel &p, float wc, float ww, float wa) {
    const DF df;
    const DI di;
    const size_t lanes = hn::Lanes(df);
    const auto inf = hn::Set(df, std::numeric_limits<float>::infinity());
    const auto pc = hn::Set(df, p.c), ps = hn::Set(df, p.s), pw = hn::Set(df, p.w),
               pa = hn::Set(df, p.a);
    const auto vwc = hn::Set(df, wc), vww = hn::Set(df, ww), vwa = hn::Set(df, wa);
    auto best = inf, second = inf;
    auto best_i = hn::Set(di, -1), second_i = hn::Set(di, -1);
    auto index = hn::Iota(di, 0);
    const auto step = hn::Set(di, static_cast<int32_t>(lanes));
    const bool target_opaque = p.a != 0.0f;
    for (uint32_t i = 0; i < padded; i += static_cast<uint32_t>(lanes)) {
        const auto dc = hn::Sub(hn::LoadU(df, c + i), pc);
        const auto ds = hn::Sub(hn::LoadU(df, s + i), ps);
        const auto dw = hn::Sub(hn::LoadU(df, w + i), pw);
        auto d = hn::Add(hn::Mul(hn::Add(hn::Mul(dc, dc), hn::Mul(ds, ds)), vwc),
                         hn::Mul(hn::Mul(dw, vww), dw));
        if constexpr (mode == KVZA_ALPHA_BINARY) {
            const auto ea = hn::LoadU(df, a + i);
            const auto entry_opaque = hn::Ge(ea, hn::Set(df, kBinaryThreshold));
            // Only where the opacities differ is anything added (d + 0 would
            // turn -0 into +0).
            const auto differ = target_opaque ? hn::Not(entry_opaque) : entry_opaque;
            d = hn::IfThenElse(differ, hn::Add(d, hn::Set(df, 100000.0f)), d);
        } else if constexpr (mode == KVZA_ALPHA_FULL) {
            const auto ea = hn::LoadU(df, a + i);
            const auto da = hn::Sub(ea, pa);
            d = hn::Add(d, hn::Mul(hn::Mul(da, vwa), da));
            if (!target_opaque) {
                const auto visible = hn::Ne(ea, hn::Zero(df));
                d = hn::IfThenElse(visible, hn::Mul(d, hn::Set(df, 100000.0f)), d);
            }
        }
        // Not a number never wins: as infinity, which never wins either.
        d = hn::IfThenElse(hn::IsNaN(d), inf, d);
        const auto better = hn::Lt(d, best);
        if constexpr (track_second) {
            const auto better_second = hn::Lt(d, second);
            const auto better_i = hn::RebindMask(di, better);
            const auto better_second_i = hn::RebindMask(di, better_second);
            second = hn::IfThenElse(better, best, hn::IfThenElse(better_second, d, second));
            second_i =
                hn::IfThenElse(better_i, best_i, hn::IfThenElse(better_second_i, index, second_i));
        }
        best = hn::IfThenElse(better, d, best);
        best_i = hn::IfThenElse(hn::RebindMask(di, better), index, best_i);
        index = hn::Add(index, step);
    }
    // The lanes merged: nearer first, then the lower index.
    return MergeLanes<track_second>(best, best_i, second, second_i);
}

Nearest NearestLanes(const float *channels, uint32_t padded, int32_t mode, bool track_second,
                     const KvzaPixel &p, float wc, float ww, float wa) {
    const float *c = channels, *s = c + padded, *w = s + padded, *a = w + padded;
    auto run = [&](auto mode_tag) {
        constexpr int32_t m = decltype(mode_tag)::value;
        return track_second ? ScanLanes<m, true>(c, s, w, a, padded, p, wc, ww, wa)
                            : ScanLanes<m, false>(c, s, w, a, padded, p, wc, ww, wa);
    };
    if (mode == KVZA_ALPHA_OPAQUE) return run(std::integral_constant<int32_t, KVZA_ALPHA_OPAQUE>{});
    if (mode == KVZA_ALPHA_BINARY) return run(std::integral_constant<int32_t, KVZA_ALPHA_BINARY>{});
    return run(std::integral_constant<int32_t, KVZA_ALPHA_FULL>{});
}

}  // namespace HWY_NAMESPACE
}  // namespace kvza
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kvza {

HWY_EXPORT(NearestLanes);

PaletteLanes::PaletteLanes(const KvzaPixel *palette, uint32_t count) {
    if (palette == nullptr || count == 0) return;
    const uint32_t padded = (count + kAlign - 1) / kAlign * kAlign;
    try {
        // Padding entries are not a number: their distance never wins.
        channels_.assign(size_t{4} * padded, std::numeric_limits<float>::quiet_NaN());
    } catch (const std::bad_alloc &) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        channels_[i] = palette[i].c;
        channels_[padded + i] = palette[i].s;
        channels_[2 * size_t{padded} + i] = palette[i].w;
        channels_[3 * size_t{padded} + i] = palette[i].a;
    }
    count_ = count;
    padded_ = padded;
}

Nearest PaletteLanes::nearest(int32_t mode, bool track_second, const KvzaPixel &p, float wc,
                              float ww, float wa) const {
    return HWY_DYNAMIC_DISPATCH(NearestLanes)(channels_.data(), padded_, mode, track_second, p, wc,
                                              ww, wa);
}

}  // namespace kvza
#endif  // HWY_ONCE
