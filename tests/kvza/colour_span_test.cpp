// The many-pixel conversions against kvza_rgb2kvz / kvza_kvz2rgb one pixel
// at a time, on every instruction set the processor offers: all 2^24 colours
// of 8-bit files (a sample of them in the sanitizer build) and their KVZ
// forms back, and random colours chosen to be hard (any bit pattern, sector
// borders, 0 and 1 and their neighbours, signed zeros, denormals, values far
// outside 0 .. 1), converted in place and apart, in spans of awkward lengths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "hwy/targets.h"
#include "kvza.h"

namespace {

#ifdef KVZA_SAMPLE_ONLY
constexpr size_t kStride = 61;  // the sanitizer build checks every 61st colour
constexpr size_t kRandom = 100000;
#else
constexpr size_t kStride = 1;
constexpr size_t kRandom = 3000000;
#endif

using Convert = void (*)(KvzaPixel *, const KvzaPixel *);
using ConvertN = void (*)(KvzaPixel *, const KvzaPixel *, uint64_t);

// Runs body once per instruction set the library was built for and this
// processor has, then restores the normal choice. (The one-lane build is the
// reference loop itself.)
template <class Body>
void for_each_target(const Body &body) {
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    for (int64_t t : targets) {
        if (t == HWY_SCALAR) continue;
        hwy::SetSupportedTargetsForTest(t);
        SCOPED_TRACE(hwy::TargetName(t));
        body();
    }
    hwy::SetSupportedTargetsForTest(0);
}

// Indices where the span's result differs, bit for bit, from the reference
// (alpha included: both leave it untouched).
void expect_same(const std::vector<KvzaPixel> &want, const std::vector<KvzaPixel> &got,
                 const std::vector<KvzaPixel> &src) {
    ASSERT_EQ(want.size(), got.size());
    size_t differ = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        if (std::memcmp(&want[i], &got[i], sizeof(KvzaPixel)) == 0) continue;
        if (++differ <= 3)
            ADD_FAILURE() << "pixel " << i << " (" << std::hexfloat << src[i].c << ", " << src[i].s
                          << ", " << src[i].w << "): want " << want[i].c << ", " << want[i].s
                          << ", " << want[i].w << "; got " << got[i].c << ", " << got[i].s << ", "
                          << got[i].w;
    }
    EXPECT_EQ(differ, 0u);
}

std::vector<KvzaPixel> reference(const std::vector<KvzaPixel> &src, Convert convert, float alpha) {
    std::vector<KvzaPixel> out(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        out[i].a = alpha;
        convert(&out[i], &src[i]);
    }
    return out;
}

// Apart into a buffer whose alpha must survive, and (with in_place) in place.
void check_both_ways(const std::vector<KvzaPixel> &src, Convert one, ConvertN many,
                     bool in_place_too = true) {
    const std::vector<KvzaPixel> want_apart = reference(src, one, 0.25f);
    std::vector<KvzaPixel> want_in_place = in_place_too ? src : std::vector<KvzaPixel>{};
    for (KvzaPixel &p : want_in_place) one(&p, &p);
    for_each_target([&] {
        std::vector<KvzaPixel> apart(src.size(), KvzaPixel{0, 0, 0, 0.25f});
        many(apart.data(), src.data(), src.size());
        expect_same(want_apart, apart, src);
        if (!in_place_too) return;
        std::vector<KvzaPixel> in_place = src;
        many(in_place.data(), in_place.data(), in_place.size());
        expect_same(want_in_place, in_place, src);
    });
}

TEST(ColourSpan, EveryEightBitColourAndItsKvzFormBack) {
    std::vector<KvzaPixel> rgb;
    rgb.reserve((size_t{1} << 24) / kStride + 1);
    const float k = 1.0f / 255.0f;
    for (size_t i = 0; i < (size_t{1} << 24); i += kStride)
        rgb.push_back({float(i & 255) * k, float((i >> 8) & 255) * k, float(i >> 16) * k, 0.5f});
    check_both_ways(rgb, kvza_rgb2kvz, kvza_rgb2kvz_n, false);
    std::vector<KvzaPixel> kvz = rgb;
    for (KvzaPixel &p : kvz) kvza_rgb2kvz(&p, &p);
    check_both_ways(kvz, kvza_kvz2rgb, kvza_kvz2rgb_n, false);
}

float hard_value(std::mt19937 &rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto bits = [](uint32_t b) {
        float f;
        std::memcpy(&f, &b, sizeof f);
        return f;
    };
    switch (rng() % 10) {
        case 0:
            return bits(rng());  // any pattern
        case 1:
            return float(rng() % 256) * (1.0f / 255.0f);
        case 2:
            return std::nextafter(float(rng() % 7) / 6.0f, rng() % 2 ? 2.0f : -2.0f);
        case 3:
            return rng() % 2 ? 0.0f : -0.0f;
        case 4:
            return rng() % 2 ? 1.0f : std::nextafter(1.0f, 0.0f);
        case 5:
            return bits(rng() & 0x807fffffu);  // denormals
        case 6:
            return unit(rng) * 2.0f - 1.0f;
        case 7:
            return std::ldexp(unit(rng), int(rng() % 40) - 20);  // far from 0 .. 1
        default:
            return unit(rng);
    }
}

TEST(ColourSpan, HardRandomColours) {
    std::mt19937 rng(77);
    std::vector<KvzaPixel> src(kRandom);
    for (KvzaPixel &p : src) p = {hard_value(rng), hard_value(rng), hard_value(rng), 0.75f};
    check_both_ways(src, kvza_rgb2kvz, kvza_rgb2kvz_n);
    // Valid KVZ colours of random RGB ones, and the hard values as KVZ.
    std::vector<KvzaPixel> kvz = src;
    for (size_t i = 0; i < kvz.size(); i += 2) kvza_rgb2kvz(&kvz[i], &kvz[i]);
    check_both_ways(kvz, kvza_kvz2rgb, kvza_kvz2rgb_n);
}

TEST(ColourSpan, SpansOfEveryLengthAroundTheBlocks) {
    std::mt19937 rng(5);
    std::vector<KvzaPixel> src(300);
    for (KvzaPixel &p : src) p = {hard_value(rng), hard_value(rng), hard_value(rng), 1.0f};
    for (size_t n : {0u, 1u, 3u, 7u, 63u, 64u, 65u, 129u, 300u}) {
        SCOPED_TRACE(n);
        const std::vector<KvzaPixel> part(src.begin(), src.begin() + n);
        check_both_ways(part, kvza_rgb2kvz, kvza_rgb2kvz_n);
        check_both_ways(part, kvza_kvz2rgb, kvza_kvz2rgb_n);
    }
    kvza_rgb2kvz_n(nullptr, src.data(), 1);  // refused, no crash
    kvza_kvz2rgb_n(src.data(), nullptr, 1);
}

}  // namespace
