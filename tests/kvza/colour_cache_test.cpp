// The colour cache gives bit for bit what the colour model gives, whatever
// the keys, their collisions and the size of the cache.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "colour_cache.h"

namespace {

using kvza::ColourCache;
using kvza::RgbBits;

KvzaPixel reference(const KvzaPixel &rgb) {
    KvzaPixel out{};
    kvza_rgb2kvz(&out, &rgb);
    return out;
}

bool same_bits(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ColourCache, GivesTheModelsColourForEveryKey) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float empty_channel;
    const uint32_t ones = ~0U;
    std::memcpy(&empty_channel, &ones, 4);
    // A few fixed inputs (among them the pattern that marks empty slots),
    // then repeating 8-bit colours drawn from a small set, so that slots are
    // hit, missed and replaced.
    std::vector<KvzaPixel> inputs = {{0, 0, 0, 0},
                                     {1, 1, 1, 0},
                                     {-0.0f, 0.5f, 1.0f, 0},
                                     {nan, 0.25f, 0.5f, 0},
                                     {empty_channel, empty_channel, empty_channel, 0}};
    std::vector<KvzaPixel> pool;
    for (int i = 0; i < 3000; ++i)
        pool.push_back({static_cast<float>(byte(rng)) * (1.0f / 255.0f),
                        static_cast<float>(byte(rng)) * (1.0f / 255.0f),
                        static_cast<float>(byte(rng)) * (1.0f / 255.0f), 0.0f});
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    for (int i = 0; i < 20000; ++i) inputs.push_back(pool[pick(rng)]);

    for (uint64_t pixels : {uint64_t{1}, uint64_t{100}, uint64_t{1} << 20}) {
        ColourCache<RgbBits> by_floats(pixels);
        ColourCache<uint64_t> by_bytes(pixels);
        for (const KvzaPixel &rgb : inputs) {
            const KvzaPixel want = reference(rgb);
            const KvzaPixel got = by_floats.kvz(kvza::rgb_bits(rgb), rgb);
            ASSERT_TRUE(same_bits(got, want) || (std::isnan(want.c) && std::isnan(got.c)))
                << rgb.c << " " << rgb.s << " " << rgb.w << " cache for " << pixels;
            if (std::isnan(rgb.c) || rgb.c == empty_channel) continue;
            // The same colours keyed by their bytes.
            const uint64_t key = std::lround(rgb.c * 255) | std::lround(rgb.s * 255) << 8 |
                                 std::lround(rgb.w * 255) << 16;
            ASSERT_TRUE(same_bits(by_bytes.kvz(key, rgb), want)) << key;
        }
    }
}

}  // namespace
