// The deep layouts' exact quantiser and the rounded palette bytes: values
// that went through the colour model's round trip come back as the steps
// they were read from.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "wc_test_util.h"
#include "writer_common.h"

namespace {

// The red, green and blue of v through KVZ and back, as a writer sees them.
KvzaPixel round_trip(float r, float g, float b) {
    const KvzaPixel rgb{r, g, b, 1.0f};
    KvzaPixel kvz{}, back{};
    kvza_rgb2kvz(&kvz, &rgb);
    kvza_kvz2rgb(&back, &kvz);
    kvza_cliprgba(&back, &back);
    return back;
}

}  // namespace

// Every 16-bit step, as red beside a fixed green and blue, survives the round
// trip through the colour model; the 8-bit truncating quantiser does not.
TEST(QuantizeExact, SixteenBitStepsSurviveTheColourModel) {
    int exact_wrong = 0, truncating_wrong = 0;
    for (uint32_t v = 0; v <= 65535; v += 7) {
        const float r = static_cast<float>(v / 65535.0);
        const KvzaPixel back = round_trip(r, 0.25f, static_cast<float>((65535 - v) / 65535.0));
        if (kot::quantize_exact(16, 0, 0, 0, back.c) != static_cast<int32_t>(v)) ++exact_wrong;
        if (kot::quantize_level(16, 0, 0, 0, back.c) != static_cast<int32_t>(v)) ++truncating_wrong;
    }
    EXPECT_EQ(exact_wrong, 0);
    EXPECT_GT(truncating_wrong, 0) << "the single-precision scale is not exact at 16 bits";
}

TEST(QuantizeExact, LimitsAndDither) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int bits;
        float v;
        int32_t want;
    } cases[] = {{16, nan, 0},      {16, -1.0f, 0},      {16, 2.0f, 65535}, {16, 1.0f, 65535},
                 {8, 0.5f, 128},    {1, 0.49f, 0},       {1, 0.51f, 1},     {0, 1.0f, 1},
                 {17, 1.0f, 65535}, {4, 7.0f / 15.0f, 7}};
    for (const auto &c : cases)
        EXPECT_EQ(kot::quantize_exact(c.bits, 0, 0, 0, c.v), c.want) << c.bits << " " << c.v;
    // A half step dithers up at about half of the positions, never by more than one.
    int up = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int32_t q = kot::quantize_exact(16, x, y, 256, 100.5f / 65535.0f);
            EXPECT_TRUE(q == 100 || q == 101);
            up += q == 101;
        }
    EXPECT_GT(up, 16);
    EXPECT_LT(up, 48);
}

// Palette entries of colours read from 8-bit samples: the rounded bytes are the
// samples, for every byte value in each channel.
TEST(OptimisedPalette, NearestRoundingGivesBackTheBytes) {
    const float k = 1.0f / 255.0f;
    int rounded_wrong = 0, truncated_wrong = 0;
    for (int b = 0; b < 256; b += 1) {
        auto image = kvzatest::make_image(2, 1);
        const KvzaPixel rgb[2] = {{b * k, (255 - b) * k, (b * 7 % 256) * k, 0.0f},
                                  {(b * 3 % 256) * k, b * k, 0.0f, 0.0f}};
        for (int x = 0; x < 2; ++x) {
            kvza_rgb2kvz(&kvzatest::at(image.get(), x, 0), &rgb[x]);
            kvzatest::at(image.get(), x, 0).a = 1.0f;
        }
        const KotSaveOptions o = wctest::options(41, 0, 0);
        uint8_t out[8], cut[8];
        ASSERT_EQ(kot::build_optimised_palette(image.get(), &o, KVZA_ALPHA_OPAQUE, 2, out,
                                               kot::ByteRounding::Nearest),
                  KOT_OK);
        ASSERT_EQ(kot::build_optimised_palette(image.get(), &o, KVZA_ALPHA_OPAQUE, 2, cut), KOT_OK);
        // Entries come in order of appearance: blue, green, red of each pixel.
        for (int x = 0; x < 2; ++x) {
            const float *want[3] = {&rgb[x].w, &rgb[x].s, &rgb[x].c};
            for (int c = 0; c < 3; ++c) {
                const int byte = static_cast<int>(std::lround(*want[c] * 255.0f));
                rounded_wrong += out[4 * x + c] != byte;
                truncated_wrong += cut[4 * x + c] != byte;
            }
        }
    }
    EXPECT_EQ(rounded_wrong, 0);
    EXPECT_GT(truncated_wrong, 0) << "the bitmap writers' truncated bytes stay as they are";
}
