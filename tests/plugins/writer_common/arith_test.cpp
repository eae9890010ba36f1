// Channel quantisation, alpha threshold, background merge and padded sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "image_block.h"
#include "wc_test_util.h"
#include "writer_common.h"

using kot::quantize_level;
using wctest::kDitherBlock;
using wctest::options;

namespace {

// A value whose 8-bit quantisation has integer part 127 and fraction byte 128:
// 65535 x v lies half-way inside 32640 (= 127 x 256 + 128).
const float kHalfStep = 32640.5f / 65535.0f;

constexpr uint16_t kMerge = 1, kThreshold = 2, kAlphaDither = 4;

}  // namespace

TEST(QuantizeLevel, EndsOfTheRangeWithoutDither) {
    EXPECT_EQ(quantize_level(8, 0, 0, 0, 1.0f), 255);
    EXPECT_EQ(quantize_level(5, 0, 0, 0, 1.0f), 31);
    EXPECT_EQ(quantize_level(16, 0, 0, 0, 1.0f), 65535);
    EXPECT_EQ(quantize_level(1, 0, 0, 0, 1.0f), 1);
    for (int bits = 1; bits <= 16; ++bits) EXPECT_EQ(quantize_level(bits, 3, 5, 0, 0.0f), 0);
}

TEST(QuantizeLevel, TruncatesTowardZero) {
    // 511 x 0.5 = 255.5 truncates to 255; 255 >> 8 is 0.
    EXPECT_EQ(quantize_level(1, 0, 0, 0, 0.5f), 0);
    // 65535 x 0.5 = 32767.5 -> 32767 -> 127.
    EXPECT_EQ(quantize_level(8, 0, 0, 0, 0.5f), 127);
    // 8191 x 0.5 = 4095.5 -> 4095 -> 15 at 5 bits; 16383 x 0.5 -> 31 at 6 bits.
    EXPECT_EQ(quantize_level(5, 0, 0, 0, 0.5f), 15);
    EXPECT_EQ(quantize_level(6, 0, 0, 0, 0.5f), 31);
    // 65535 x 0.75 = 49151.25 -> 191.
    EXPECT_EQ(quantize_level(8, 0, 0, 0, 0.75f), 191);
}

TEST(QuantizeLevel, ValuesOutsideTheRangeAreNotClipped) {
    // 65535 x 1.5 = 98302.5 -> 98302 -> 383.
    EXPECT_EQ(quantize_level(8, 0, 0, 0, 1.5f), 383);
    // A negative product shifts arithmetically: -2.5 -> -2 -> -1.
    EXPECT_EQ(quantize_level(8, 0, 0, 0, -2.5f / 65535.0f), -1);
}

TEST(QuantizeLevel, NonFiniteInputNeverCrashes) {
    EXPECT_EQ(quantize_level(8, 0, 0, 0, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(quantize_level(8, 0, 0, 0, std::numeric_limits<float>::infinity()), INT32_MAX >> 8);
    EXPECT_EQ(quantize_level(8, 0, 0, 0, -std::numeric_limits<float>::infinity()), INT32_MIN >> 8);
}

TEST(QuantizeLevel, DitherAddsTheMatrixDecision) {
    // Fraction byte 128 at full strength: +1 where the table byte is below 128.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int expected = 127 + (kDitherBlock[y][x] < 128 ? 1 : 0);
            EXPECT_EQ(quantize_level(8, x, y, 256, kHalfStep), expected) << x << "," << y;
            // The matrix repeats every 8 pixels.
            EXPECT_EQ(quantize_level(8, x + 8, y + 16, 256, kHalfStep), expected);
        }
    }
}

TEST(QuantizeLevel, LevelCoarsensTheFraction) {
    // With 2 levels a fraction of 127 rounds down to 0 and never dithers;
    // a fraction of 128 becomes 128 and dithers like the full-strength case.
    const float frac127 = 32639.5f / 65535.0f;  // 127 x 256 + 127
    int raised127 = 0, raised128 = 0, expected128 = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            raised127 += quantize_level(8, x, y, 2, frac127) - 127;
            raised128 += quantize_level(8, x, y, 2, kHalfStep) - 127;
            expected128 += kDitherBlock[y][x] < 128 ? 1 : 0;
        }
    }
    EXPECT_EQ(raised127, 0);
    EXPECT_EQ(raised128, expected128);
    EXPECT_EQ(expected128, 32);
}

TEST(QuantizeLevel, NoDitherAtZeroOrAtTheTop) {
    // i == 0: a value too small for any fraction bit stays 0 everywhere.
    // q at the top: a value just below 1.0 stays at the maximum, never above.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(quantize_level(8, x, y, 256, 1e-9f), 0);
            EXPECT_EQ(quantize_level(8, x, y, 256, 0.9999f), 255);
            EXPECT_EQ(quantize_level(5, x, y, 256, 0.999f), 31);
            EXPECT_EQ(quantize_level(1, x, y, 256, 1.0f), 1);
        }
    }
    // A small fraction with integer part 0 does dither: 65535 x 201/65536 -> 200.
    EXPECT_EQ(quantize_level(8, 0, 0, 256, 201.0f / 65536.0f), 1);  // 200 > 7
    EXPECT_EQ(quantize_level(8, 1, 0, 256, 201.0f / 65536.0f), 0);  // 200 < 231
}

TEST(QuantizeLevel, OneBitAlphaDither) {
    // 1 bit: 511 x a. a = 0.5 gives fraction 255 and integer 0: raised to 1 wherever
    // the table byte is below 255 (the whole block).
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(quantize_level(1, x, y, 256, 0.5f), 1);
    EXPECT_EQ(quantize_level(1, 0, 0, 0, 0.5f), 0);
}

TEST(TruncToInt, SaturatesAndTruncates) {
    EXPECT_EQ(kot::trunc_to_int(2.9f), 2);
    EXPECT_EQ(kot::trunc_to_int(-2.9f), -2);
    EXPECT_EQ(kot::trunc_to_int(1e30f), INT32_MAX);
    EXPECT_EQ(kot::trunc_to_int(-1e30f), INT32_MIN);
    EXPECT_EQ(kot::trunc_to_int(std::nanf("")), 0);
}

TEST(ThresholdAlpha, SwitchOffPassesAlphaThrough) {
    const KotSaveOptions o = options(20, kMerge | kAlphaDither, 256, 128);
    EXPECT_FLOAT_EQ(kot::threshold_alpha(0, 0, &o, 0.3f), 0.3f);
    EXPECT_FLOAT_EQ(kot::threshold_alpha_plain(&o, 0.7f), 0.7f);
    EXPECT_FLOAT_EQ(kot::threshold_alpha(0, 0, &o, -0.2f), -0.2f);
}

TEST(ThresholdAlpha, OnlyTheLowByteOfTheSwitchesCounts) {
    // Bit 9 is switch 1 shifted into the high byte: still off.
    KotSaveOptions o = options(20, 0x0200, 0, 128);
    EXPECT_FLOAT_EQ(kot::threshold_alpha(0, 0, &o, 0.3f), 0.3f);
    o.switches = 0xff02;
    EXPECT_EQ(kot::threshold_alpha(0, 0, &o, 0.3f), 0.0f);
}

TEST(ThresholdAlpha, DefaultThresholdSplitsAt128) {
    const KotSaveOptions o = options(20, kThreshold, 0, 128);
    const float a128 = 128.0f / 255.0f;
    EXPECT_EQ(kot::threshold_alpha(0, 0, &o, a128), 1.0f);
    EXPECT_EQ(kot::threshold_alpha(0, 0, &o, std::nextafter(a128, 0.0f)), 0.0f);
    EXPECT_EQ(kot::threshold_alpha(0, 0, &o, 0.5f), 0.0f);   // 127.5 -> 127
    EXPECT_EQ(kot::threshold_alpha(0, 0, &o, 0.51f), 1.0f);  // 130
    EXPECT_EQ(kot::threshold_alpha_plain(&o, 0.5f), 0.0f);
    EXPECT_EQ(kot::threshold_alpha_plain(&o, 0.51f), 1.0f);
}

TEST(ThresholdAlpha, ExactOneAndZeroAreKept) {
    for (int16_t t : {0, 1, 128, 255, 256, 300}) {
        const KotSaveOptions o = options(20, kThreshold | kAlphaDither, 256, t);
        EXPECT_EQ(kot::threshold_alpha(3, 1, &o, 1.0f), 1.0f) << t;
        EXPECT_EQ(kot::threshold_alpha(3, 1, &o, 0.0f), 0.0f) << t;
        EXPECT_EQ(kot::threshold_alpha(3, 1, &o, -0.0f), 0.0f) << t;
        EXPECT_EQ(kot::threshold_alpha_plain(&o, 1.0f), 1.0f) << t;
        EXPECT_EQ(kot::threshold_alpha_plain(&o, 0.0f), 0.0f) << t;
    }
}

TEST(ThresholdAlpha, ThresholdZeroAnd256) {
    const KotSaveOptions zero = options(20, kThreshold, 0, 0);
    EXPECT_EQ(kot::threshold_alpha(0, 0, &zero, 0.001f), 1.0f);  // 0.255 -> 0, not below 0
    EXPECT_EQ(kot::threshold_alpha(0, 0, &zero, 1e-20f), 1.0f);
    const KotSaveOptions full = options(20, kThreshold, 0, 256);
    EXPECT_EQ(kot::threshold_alpha(0, 0, &full, 0.9999f), 0.0f);  // 254 < 256
    EXPECT_EQ(kot::threshold_alpha(0, 0, &full, 1.0f), 1.0f);
}

TEST(ThresholdAlpha, BytesRoundTripThroughTheThreshold) {
    // An alpha read from byte k (k x the float nearest 1/255) is opaque at
    // threshold k and transparent at threshold k + 1.
    for (int k = 1; k < 255; ++k) {
        const float a = static_cast<float>(k) * 0.003921569f;
        const KotSaveOptions at = options(20, kThreshold, 0, static_cast<int16_t>(k));
        const KotSaveOptions above = options(20, kThreshold, 0, static_cast<int16_t>(k + 1));
        EXPECT_EQ(kot::threshold_alpha_plain(&at, a), 1.0f) << k;
        EXPECT_EQ(kot::threshold_alpha_plain(&above, a), 0.0f) << k;
    }
}

TEST(ThresholdAlpha, AlphaDitheringUsesPositionAndStrength) {
    // kHalfStep is 127 on the 0..255 scale plus fraction 128: with dither it
    // reaches the threshold 128 exactly where the table byte is below 128.
    const KotSaveOptions dithered = options(20, kThreshold | kAlphaDither, 256, 128);
    const KotSaveOptions plain = options(20, kThreshold, 256, 128);
    const KotSaveOptions no_strength = options(20, kThreshold | kAlphaDither, 0, 128);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const float expected = kDitherBlock[y][x] < 128 ? 1.0f : 0.0f;
            EXPECT_EQ(kot::threshold_alpha(x, y, &dithered, kHalfStep), expected) << x << "," << y;
            EXPECT_EQ(kot::threshold_alpha(x, y, &plain, kHalfStep), 0.0f);
            EXPECT_EQ(kot::threshold_alpha(x, y, &no_strength, kHalfStep), 0.0f);
        }
    }
    // The plain variant never dithers.
    EXPECT_EQ(kot::threshold_alpha_plain(&dithered, kHalfStep), 0.0f);
}

TEST(MergeBackground, MixesByAlphaAndKeepsAlpha) {
    const uint8_t background[3] = {0, 255, 51};
    KvzaPixel colour{1.0f, 0.0f, 0.6f, 0.5f};  // R, G, B, A
    kot::merge_background(&colour, background);
    EXPECT_FLOAT_EQ(colour.c, 0.5f);
    EXPECT_FLOAT_EQ(colour.s, 0.5f);
    EXPECT_FLOAT_EQ(colour.w, 0.4f);  // 0.2 + (0.6 - 0.2) x 0.5
    EXPECT_EQ(colour.a, 0.5f);
}

TEST(MergeBackground, TransparentGivesTheBackgroundOpaqueKeepsTheColour) {
    const uint8_t background[3] = {10, 128, 255};
    KvzaPixel clear{0.3f, 0.6f, 0.9f, 0.0f};
    kot::merge_background(&clear, background);
    // Background bytes times the float nearest 1/255, rounded to float.
    EXPECT_EQ(clear.c, 10.0f * 0.003921569f);
    EXPECT_EQ(clear.s, 128.0f * 0.003921569f);
    EXPECT_EQ(clear.w, 1.0f);  // 255 x (1/255 as float) rounds to 1
    KvzaPixel solid{0.3f, 0.6f, 0.9f, 1.0f};
    kot::merge_background(&solid, background);
    EXPECT_FLOAT_EQ(solid.c, 0.3f);
    EXPECT_FLOAT_EQ(solid.s, 0.6f);
    EXPECT_FLOAT_EQ(solid.w, 0.9f);
}

TEST(PaddedImageSize, RowsPadToFourBytes) {
    EXPECT_EQ(kot::padded_image_size(24, 1, 1), 4u);
    EXPECT_EQ(kot::padded_image_size(1, 33, 2), 16u);
    EXPECT_EQ(kot::padded_image_size(4, 3, 1), 4u);
    EXPECT_EQ(kot::padded_image_size(1, 32, 1), 4u);
    EXPECT_EQ(kot::padded_image_size(8, 5, 3), 24u);
    EXPECT_EQ(kot::padded_image_size(16, 3, 2), 16u);
    EXPECT_EQ(kot::padded_image_size(32, 7, 0), 0u);
    EXPECT_EQ(kot::padded_row_bytes(1, 1), 4u);
    EXPECT_EQ(kot::padded_row_bytes(24, 5), 16u);
}

TEST(PaddedImageSize, SixtyFourBitArithmetic) {
    // 65536 x 65536 at 32 bits is 16 GiB: beyond 32 bits, exact in 64.
    EXPECT_EQ(kot::padded_image_size(32, 65536, 65536), uint64_t{1} << 34);
    // A row of 2^32 - 1 pixels at 32 bits: the bit count itself passes 2^32.
    EXPECT_EQ(kot::padded_row_bytes(32, UINT32_MAX), uint64_t{4} * UINT32_MAX);
    // A product that does not fit 64 bits saturates instead of wrapping.
    EXPECT_EQ(kot::padded_image_size(32, UINT32_MAX, UINT32_MAX), UINT64_MAX);
}

// The writers' conversion with the colours of a row converted ahead: the
// one-pixel result for every pixel whatever the order of the calls, for a
// pixel changed after its row was converted, for the border and for another
// image at the same address.
TEST(KvzToRgb, RowsConvertedAheadGiveTheOnePixelResult) {
    constexpr int kW = 700, kH = 3;
    auto image = kvzatest::make_image(kW, kH);
    uint32_t seed = 3;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f * 2.0f - 1.0f;
    };
    KvzaPixel *px = image->pixels;
    for (int i = 0; i < kW * kH; ++i) px[i] = {next() * 0.7f, next() * 0.7f, next(), 1.0f};
    for (int i = 0; i < kW * kH; i += 5) px[i] = px[i / 2];  // repeated colours, cache hits
    auto check = [&](const KvzaPixel *pixel) {
        KvzaPixel want{0, 0, 0, 0.5f}, got{0, 0, 0, 0.5f};
        kvza_kvz2rgb(&want, pixel);
        kot::kvz_to_rgb(&got, pixel, image.get());
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "pixel " << pixel - px;
    };
    for (int i = 0; i < kW * kH; ++i) check(&px[i]);       // row by row
    for (int i = kW * kH - 1; i >= 0; --i) check(&px[i]);  // backwards
    check(&px[10]);
    px[11] = {0.25f, -0.125f, 0.5f, 1.0f};  // changed after its window was made
    check(&px[11]);
    check(&image->border);
    for (int i = 0; i < kW * kH; ++i) px[i].w = -px[i].w;  // a new picture in the same memory
    for (int i = 0; i < kW * kH; i += 7) check(&px[i]);
}
