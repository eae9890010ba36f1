// The palette scan four entries at a time (SSE2, which every x86-64 has).
// Each entry's distance is made of the same float operations in the same
// order as the reference's, so every distance is the same float; the
// choice among them then follows the reference's rule: the best is the
// first entry of the smallest distance, the second the first entry of the
// smallest distance among the others, and distances that are not a number
// or infinite never win.
#include <emmintrin.h>

#include <cstring>

#include "palette_scan.h"

namespace kvza {

namespace {

constexpr uint32_t kMaxEntries = 256;  // larger palettes take the reference scan

inline int32_t bits_of(float v) {
    int32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Distances of entries [4i, 4i + 4) for the mode, from the entries' channels.
template <int32_t mode>
inline __m128 distances4(__m128 c, __m128 s, __m128 w, __m128 a, const KvzaPixel &p, __m128 wc,
                         __m128 ww, __m128 wa) {
    const __m128 dc = _mm_sub_ps(c, _mm_set1_ps(p.c));
    const __m128 ds = _mm_sub_ps(s, _mm_set1_ps(p.s));
    const __m128 dw = _mm_sub_ps(w, _mm_set1_ps(p.w));
    __m128 d = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(dc, dc), _mm_mul_ps(ds, ds)), wc),
                          _mm_mul_ps(_mm_mul_ps(dw, ww), dw));
    if constexpr (mode == KVZA_ALPHA_BINARY) {
        const __m128 entry_opaque = _mm_cmpge_ps(a, _mm_set1_ps(kBinaryThreshold));
        const __m128 target_opaque =
            p.a != 0.0f ? _mm_castsi128_ps(_mm_set1_epi32(-1)) : _mm_setzero_ps();
        const __m128 differ = _mm_xor_ps(entry_opaque, target_opaque);
        // Only where the opacities differ is anything added (d + 0 would
        // turn -0 into +0).
        const __m128 added = _mm_add_ps(d, _mm_set1_ps(100000.0f));
        d = _mm_or_ps(_mm_and_ps(differ, added), _mm_andnot_ps(differ, d));
    } else if constexpr (mode == KVZA_ALPHA_FULL) {
        const __m128 da = _mm_sub_ps(a, _mm_set1_ps(p.a));
        d = _mm_add_ps(d, _mm_mul_ps(_mm_mul_ps(da, wa), da));
        if (p.a == 0.0f) {
            const __m128 visible = _mm_cmpneq_ps(a, _mm_setzero_ps());
            const __m128 scaled = _mm_mul_ps(d, _mm_set1_ps(100000.0f));
            d = _mm_or_ps(_mm_and_ps(visible, scaled), _mm_andnot_ps(visible, d));
        }
    }
    return d;
}

template <int32_t mode>
Nearest scan4(bool track_second, const KvzaPixel *palette, uint32_t count, const KvzaPixel &colour,
              const KvzaPixel &p, float wc, float ww, float wa) {
    Nearest n;
    // An entry holding the colour's 16 bytes ends the reference's scan there:
    // the first such entry is the answer, whatever the distances.
    const __m128i want_c = _mm_set1_epi32(bits_of(colour.c)),
                  want_s = _mm_set1_epi32(bits_of(colour.s)),
                  want_w = _mm_set1_epi32(bits_of(colour.w)),
                  want_a = _mm_set1_epi32(bits_of(colour.a));
    alignas(16) float d[kMaxEntries];
    const __m128 vwc = _mm_set1_ps(wc), vww = _mm_set1_ps(ww), vwa = _mm_set1_ps(wa);
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const __m128 inf = _mm_set1_ps(kInf);
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128 c = _mm_loadu_ps(&palette[i].c), s = _mm_loadu_ps(&palette[i + 1].c),
               w = _mm_loadu_ps(&palette[i + 2].c), a = _mm_loadu_ps(&palette[i + 3].c);
        _MM_TRANSPOSE4_PS(c, s, w, a);
        const __m128i same =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi32(_mm_castps_si128(c), want_c),
                                        _mm_cmpeq_epi32(_mm_castps_si128(s), want_s)),
                          _mm_and_si128(_mm_cmpeq_epi32(_mm_castps_si128(w), want_w),
                                        _mm_cmpeq_epi32(_mm_castps_si128(a), want_a)));
        if (const int hits = _mm_movemask_ps(_mm_castsi128_ps(same)); hits != 0) {
            n.best_i = static_cast<int32_t>(i) + __builtin_ctz(static_cast<unsigned>(hits));
            n.exact = true;
            return n;
        }
        __m128 v = distances4<mode>(c, s, w, a, p, vwc, vww, vwa);
        // Not a number never wins: as infinity, which never wins either.
        const __m128 ordered = _mm_cmpord_ps(v, v);
        v = _mm_or_ps(_mm_and_ps(ordered, v), _mm_andnot_ps(ordered, inf));
        _mm_store_ps(d + i, v);
    }
    for (; i < count; ++i) {
        if (same_bytes(palette[i], colour)) {
            n.best_i = static_cast<int32_t>(i);
            n.exact = true;
            return n;
        }
        const float v = distance<mode>(palette[i], p, wc, ww, wa);
        d[i] = v == v ? v : kInf;
    }
    const uint32_t padded = (count + 3) & ~3u;
    for (; i < padded; ++i) d[i] = kInf;

    // The smallest distance (its value, whichever the sign of a zero) ...
    auto smallest = [&] {
        __m128 m = inf;
        for (uint32_t k = 0; k < padded; k += 4) m = _mm_min_ps(m, _mm_load_ps(d + k));
        m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
        m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(m);
    };
    // ... and the first entry that has it.
    auto first_of = [&](float value) {
        const __m128 m = _mm_set1_ps(value);
        for (uint32_t k = 0; k < padded; k += 4) {
            const int hits = _mm_movemask_ps(_mm_cmpeq_ps(_mm_load_ps(d + k), m));
            if (hits != 0)
                return static_cast<int32_t>(k) + __builtin_ctz(static_cast<unsigned>(hits));
        }
        return -1;
    };
    const float best = smallest();
    if (best == kInf) return n;  // nothing finite: entry 0, no second
    n.best_i = first_of(best);
    n.best = d[n.best_i];
    if (track_second) {
        d[n.best_i] = kInf;  // the others
        const float second = smallest();
        if (second != kInf) {
            n.second_i = first_of(second);
            n.second = d[n.second_i];
        }
    }
    return n;
}

}  // namespace

Nearest scan_vector(int32_t mode, bool track_second, const KvzaPixel *palette, uint32_t count,
                    const KvzaPixel &colour, const KvzaPixel &p, float wc, float ww, float wa) {
    if (count > kMaxEntries)
        return scan_mode_reference(mode, track_second, palette, count, colour, p, wc, ww, wa);
    switch (mode) {
        case KVZA_ALPHA_OPAQUE:
            return scan4<KVZA_ALPHA_OPAQUE>(track_second, palette, count, colour, p, wc, ww, wa);
        case KVZA_ALPHA_BINARY:
            return scan4<KVZA_ALPHA_BINARY>(track_second, palette, count, colour, p, wc, ww, wa);
        default:
            return scan4<KVZA_ALPHA_FULL>(track_second, palette, count, colour, p, wc, ww, wa);
    }
}

}  // namespace kvza
