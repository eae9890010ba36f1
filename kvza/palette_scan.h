// palette_scan.h - the nearest palette entries of a colour: the scan one
// entry at a time in index order (the reference every faster scan must
// equal) and the scan that computes the same distances four entries at a
// time.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "internal.h"

namespace kvza {

inline constexpr float kBinaryThreshold = 0.001f;

// Distance of palette entry e from target p (p already prepared for the mode).
template <int32_t mode>
inline float distance(const KvzaPixel &e, const KvzaPixel &p, float wc, float ww, float wa) {
    const float dc = e.c - p.c;
    const float ds = e.s - p.s;
    const float dw = e.w - p.w;
    float d = (dc * dc + ds * ds) * wc + dw * ww * dw;
    if constexpr (mode == KVZA_ALPHA_OPAQUE) {
        return d;
    } else if constexpr (mode == KVZA_ALPHA_BINARY) {
        const bool target_opaque = p.a != 0.0f;
        const bool entry_opaque = e.a >= kBinaryThreshold;
        if (entry_opaque != target_opaque) d += 100000.0f;
        return d;
    } else {
        const float da = e.a - p.a;
        d += da * wa * da;
        if (p.a == 0.0f && e.a != 0.0f) d *= 100000.0f;
        return d;
    }
}

// The two nearest entries of a palette scan; exact is set when an entry holds
// the caller's 16 bytes (best is then that entry).
struct Nearest {
    float best = std::numeric_limits<float>::infinity();
    float second = std::numeric_limits<float>::infinity();
    int32_t best_i = 0;
    int32_t second_i = -1;
    bool exact = false;
};

// Scans the entries in index order; with track_second the runner-up is kept
// too (a later entry as near as the best becomes the second).
template <int32_t mode, bool track_second>
Nearest scan_reference(const KvzaPixel *palette, uint32_t count, const KvzaPixel &colour,
                       const KvzaPixel &p, float wc, float ww, float wa) {
    Nearest n;
    for (uint32_t i = 0; i < count; ++i) {
        if (kvza::same_bytes(palette[i], colour)) {
            n.best_i = static_cast<int32_t>(i);
            n.exact = true;
            return n;
        }
        const float d = distance<mode>(palette[i], p, wc, ww, wa);
        if (d < n.best) {
            if constexpr (track_second) {
                n.second = n.best;
                // Before the first finite distance there is no best to push down.
                n.second_i = n.best == std::numeric_limits<float>::infinity() ? -1 : n.best_i;
            }
            n.best = d;
            n.best_i = static_cast<int32_t>(i);
        } else if (track_second && d < n.second) {
            n.second = d;
            n.second_i = static_cast<int32_t>(i);
        }
    }
    return n;
}

// scan_reference for a mode given at run time.
inline Nearest scan_mode_reference(int32_t mode, bool track_second, const KvzaPixel *palette,
                                   uint32_t count, const KvzaPixel &colour, const KvzaPixel &p,
                                   float wc, float ww, float wa) {
    auto run = [&](auto mode_tag, auto second_tag) {
        return scan_reference<decltype(mode_tag)::value, decltype(second_tag)::value>(
            palette, count, colour, p, wc, ww, wa);
    };
    using Opaque = std::integral_constant<int32_t, KVZA_ALPHA_OPAQUE>;
    using Binary = std::integral_constant<int32_t, KVZA_ALPHA_BINARY>;
    using Full = std::integral_constant<int32_t, KVZA_ALPHA_FULL>;
    if (track_second) {
        if (mode == KVZA_ALPHA_OPAQUE) return run(Opaque{}, std::true_type{});
        if (mode == KVZA_ALPHA_BINARY) return run(Binary{}, std::true_type{});
        return run(Full{}, std::true_type{});
    }
    if (mode == KVZA_ALPHA_OPAQUE) return run(Opaque{}, std::false_type{});
    if (mode == KVZA_ALPHA_BINARY) return run(Binary{}, std::false_type{});
    return run(Full{}, std::false_type{});
}

// The nearest entries by scan_reference, four entries at a time with the
// same float operations per entry: the same result, also for ties (the
// first of equal entries wins), distances that are not a number (they never
// win) and infinite ones.
Nearest scan_vector(int32_t mode, bool track_second, const KvzaPixel *palette, uint32_t count,
                    const KvzaPixel &colour, const KvzaPixel &p, float wc, float ww, float wa);

// The target a colour is compared as: kvza_nearpal's (binary alpha by the
// threshold) and kvza_nearpal_dit's (binary alpha by the dither pattern).
inline KvzaPixel nearpal_target(int32_t alphamode, const KvzaPixel &colour) {
    KvzaPixel p = colour;
    if (alphamode == KVZA_ALPHA_BINARY) p.a = p.a >= kBinaryThreshold ? 1.0f : 0.0f;
    return p;
}
KvzaPixel dither_target(int32_t alphamode, const KvzaPixel &colour, int32_t x, int32_t y,
                        uint32_t levels, const uint8_t *table);
// Whether dither_target is the colour itself, whatever the position: in
// every alpha mode but binary, whose alpha the dither sets by position. Only
// then are a colour's nearest entries the same for all its pixels.
inline bool dither_target_is_colour(int32_t alphamode) {
    return alphamode != KVZA_ALPHA_BINARY;
}
// kvza_nearpal_dit's entry for the two nearest entries of its target.
int32_t dither_choice(const Nearest &n, int32_t alphamode, const KvzaPixel *palette, int32_t x,
                      int32_t y, uint32_t levels, const uint8_t *table);

}  // namespace kvza
