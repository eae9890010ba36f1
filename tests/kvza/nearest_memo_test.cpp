// The memo of nearest palette entries gives the scan's answer for every
// colour: met for the first time, met again, evicted by a colour sharing its
// slot (a small memo and thousands of colours) and met once more, an entry
// itself, a colour whose bits mark an empty slot, and colours that are not
// numbers, and two colours that differ in alpha alone.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "nearest_memo.h"

namespace {

bool same_nearest(const kvza::Nearest &a, const kvza::Nearest &b) {
    return a.best_i == b.best_i && a.second_i == b.second_i && a.exact == b.exact &&
           std::memcmp(&a.best, &b.best, sizeof a.best) == 0 &&
           std::memcmp(&a.second, &b.second, sizeof a.second) == 0;
}

}  // namespace

TEST(NearestMemo, AnswersAreTheScansForRepeatedAndCollidingColours) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto colour = [&] {
        return KvzaPixel{unit(rng) * 0.6f, unit(rng) * 0.6f, unit(rng), (unit(rng) + 1.0f) * 0.5f};
    };
    std::vector<KvzaPixel> palette(50);
    for (KvzaPixel &e : palette) e = colour();
    std::vector<KvzaPixel> colours(3000);
    for (KvzaPixel &c : colours) c = colour();
    colours[10] = palette[4];
    colours[11] = {std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.5f, 1.0f};
    const uint32_t ones[4] = {~0U, ~0U, ~0U, ~0U};
    std::memcpy(&colours[12], ones, sizeof ones);
    colours[14] = colours[13];  // the same colour channels, another alpha
    colours[14].a = colours[13].a > 0.5f ? 0.0f : 1.0f;
    // Each colour three times: at once again, then after all the others.
    std::vector<KvzaPixel> stream;
    for (const KvzaPixel &c : colours) {
        stream.push_back(c);
        stream.push_back(c);
    }
    stream.insert(stream.end(), colours.begin(), colours.end());

    const kvza::PaletteIndex finder(palette.data(), 50, 1.0f, 1.0f, 1.0f);
    ASSERT_TRUE(finder.usable());
    for (const int32_t mode : {KVZA_ALPHA_OPAQUE, KVZA_ALPHA_FULL}) {
        for (const bool track_second : {false, true}) {
            kvza::NearestMemo memo(1);  // the smallest memo: colours evict each other
            for (size_t i = 0; i < stream.size(); ++i) {
                const KvzaPixel &c = stream[i];
                const kvza::Nearest want = finder.nearest(mode, track_second, c, c);
                ASSERT_TRUE(same_nearest(memo.nearest(finder, mode, track_second, c, c), want))
                    << "mode " << mode << " second " << track_second << " colour " << i;
            }
        }
    }
}
