// The four-at-a-time palette scan and the palette index (its lane scan on
// every instruction set the processor has) against the reference scan, entry
// by entry in index order: the same best and second entries and distances for
// random palettes with many ties (repeated entries among them), entries and colours that are not
// numbers or infinite, negative weights, every alpha mode and sizes around the vector widths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "hwy/targets.h"
#include "palette_index.h"
#include "palette_scan.h"

namespace {

bool same_float(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_scans(uint32_t seed);

TEST(PaletteScan, FastScansGiveTheReferenceResult) {
    uint32_t seed = 2024;
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        if (target == HWY_SCALAR) continue;
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        check_scans(seed++);
    }
    hwy::SetSupportedTargetsForTest(0);
}

void check_scans(uint32_t seed) {
    std::mt19937 rng(seed);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Few distinct channel values, so that distances tie often.
    const float values[] = {0.0f, -0.0f, 0.25f, -0.5f, 0.5f, 1.0f, 0.0005f, 1e-20f};
    auto value = [&](int rare) {
        const unsigned pick = rng() % 64;
        if (rare && pick == 0) return nan;
        if (rare && pick == 1) return inf;
        if (rare && pick == 2) return -inf;
        return values[rng() % 8];
    };
    long cases = 0;
    // Spread values as in an optimised palette, where whole blocks of
    // entries lie too far away to matter.
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    auto any = [&](int rare, bool spread_out) {
        return spread_out && !(rare && rng() % 64 == 0) ? spread(rng) : value(rare);
    };
    for (uint32_t count : {1u, 3u, 4u, 5u, 7u, 8u, 15u, 16u, 17u, 31u, 33u, 63u, 256u, 257u}) {
        for (int round = 0; round < 400; ++round) {
            const int rare = round % 3 == 0;
            const bool spread_out = round % 4 == 1;
            std::vector<KvzaPixel> palette(count);
            for (KvzaPixel &e : palette)
                e = {any(rare, spread_out), any(rare, spread_out), any(rare, spread_out),
                     any(rare, spread_out)};
            // Some palettes repeat a few entries all over: equal distances
            // far apart in index order, wherever the entries are visited.
            if (round % 5 == 2)
                for (KvzaPixel &e : palette) e = palette[rng() % std::min(count, 3u)];
            KvzaPixel colour = {any(rare, spread_out), any(rare, spread_out), any(rare, spread_out),
                                any(rare, spread_out)};
            if (round % 7 == 0) colour = palette[rng() % count];  // an exact entry
            const float weights[][3] = {{1, 1, 1}, {2.5f, 0.5f, 3}, {-1, 1, 0.25f},
                                        {0, 1, 0}, {1, 0, 1},       {-0.0f, 1, 1}};
            const float *wt = weights[round % 6];
            for (int32_t mode : {KVZA_ALPHA_OPAQUE, KVZA_ALPHA_BINARY, KVZA_ALPHA_FULL}) {
                KvzaPixel p = colour;
                if (mode == KVZA_ALPHA_BINARY) p.a = round % 2 == 0 ? 1.0f : 0.0f;
                for (bool second : {false, true}) {
                    const kvza::Nearest want = kvza::scan_mode_reference(
                        mode, second, palette.data(), count, colour, p, wt[0], wt[1], wt[2]);
                    const kvza::Nearest vector = kvza::scan_vector(
                        mode, second, palette.data(), count, colour, p, wt[0], wt[1], wt[2]);
                    const kvza::PaletteIndex finder(palette.data(), count, wt[0], wt[1], wt[2]);
                    ASSERT_EQ(finder.usable(), count <= 256);
                    for (int which = 0; which < (finder.usable() ? 2 : 1); ++which) {
                        const kvza::Nearest got =
                            which == 0 ? vector : finder.nearest(mode, second, colour, p);
                        ++cases;
                        const std::string where =
                            std::to_string(count) + " entries, round " + std::to_string(round) +
                            ", mode " + std::to_string(mode) + (which ? ", index" : ", vector");
                        ASSERT_EQ(got.exact, want.exact) << where;
                        ASSERT_EQ(got.best_i, want.best_i) << where;
                        if (want.exact) continue;
                        ASSERT_TRUE(same_float(got.best, want.best))
                            << got.best << " " << want.best;
                        if (!second) continue;
                        ASSERT_EQ(got.second_i, want.second_i) << where;
                        ASSERT_TRUE(same_float(got.second, want.second))
                            << got.second << " " << want.second;
                    }
                }
            }
        }
    }
    EXPECT_GT(cases, 20000);
}

}  // namespace
