// RGB, HLS and KVZ conversions, chroma and hue difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kvza.h"

namespace {

KvzaPixel kvz_of(float r, float g, float b) {
    KvzaPixel in{r, g, b, 0.25f};
    KvzaPixel out{9, 9, 9, 7};
    kvza_rgb2kvz(&out, &in);
    return out;
}

KvzaPixel rgb_of(float c, float s, float w) {
    KvzaPixel in{c, s, w, 0.25f};
    KvzaPixel out{9, 9, 9, 7};
    kvza_kvz2rgb(&out, &in);
    return out;
}

void expect_pixel(const KvzaPixel &p, double c, double s, double w, double tol = 1e-6) {
    EXPECT_NEAR(p.c, c, tol);
    EXPECT_NEAR(p.s, s, tol);
    EXPECT_NEAR(p.w, w, tol);
}

}  // namespace

TEST(RgbToKvz, GreysAndPrimaries) {
    expect_pixel(kvz_of(0, 0, 0), 0, 0, -1);
    expect_pixel(kvz_of(1, 1, 1), 0, 0, 1);
    expect_pixel(kvz_of(0.5f, 0.5f, 0.5f), 0, 0, 0);
    expect_pixel(kvz_of(1, 0, 0), 1, 0, 0);
    expect_pixel(kvz_of(0, 1, 0), -0.5, std::sqrt(3.0) / 2, 0);
    expect_pixel(kvz_of(0, 0, 1), -0.5, -std::sqrt(3.0) / 2, 0);
    // Yellow: R equals G with B smallest, hue 1/6.
    expect_pixel(kvz_of(1, 1, 0), 0.5, std::sqrt(3.0) / 2, 0);
    // R = B < G is taken by the "B is smallest" case and still gives green's hue.
    const KvzaPixel g = kvz_of(0.2f, 0.6f, 0.2f);
    EXPECT_NEAR(std::atan2(g.s, g.c) / (2 * M_PI), 1.0 / 3.0, 1e-6);
}

TEST(RgbToKvz, ChromaFollowsTheSpindle) {
    // Light red (1, 0.5, 0.5): L = 0.75, u = 0.5, k = 0.5 sin(pi/4) / 0.5.
    const KvzaPixel p = kvz_of(1, 0.5f, 0.5f);
    expect_pixel(p, std::sin(M_PI / 4), 0, 0.5);
    EXPECT_NEAR(kvza_getpixchroma(&p), std::sin(M_PI / 4), 1e-6);
}

TEST(RgbToKvz, KeepsFourthFloatAndAllowsInPlace) {
    KvzaPixel p{1, 0, 0, 0.5f};
    KvzaPixel out{0, 0, 0, 0.75f};
    kvza_rgb2kvz(&out, &p);
    EXPECT_EQ(out.a, 0.75f);
    kvza_rgb2kvz(&p, &p);
    expect_pixel(p, 1, 0, 0);
    EXPECT_EQ(p.a, 0.5f);
    kvza_rgb2kvz(nullptr, &p);
    kvza_rgb2kvz(&p, nullptr);
    kvza_rgba2kvza(&out, &p);
    EXPECT_EQ(out.a, 0.5f);
}

TEST(KvzToRgb, GreysAndZeroRange) {
    expect_pixel(rgb_of(0, 0, 0.5f), 0.75, 0.75, 0.75);
    expect_pixel(rgb_of(0.5f, 0, 1), 1, 1, 1);  // u = 0: no chroma at white
    expect_pixel(rgb_of(0, 0, -1), 0, 0, 0);
    expect_pixel(rgb_of(1, 0, 0), 1, 0, 0);  // hue angle 0 falls in the last sector
    const KvzaPixel out = rgb_of(0, 1, 0);   // hue 1/4 turn: x = 1.5
    expect_pixel(out, 0.5, 1, 0);
}

TEST(KvzToRgb, OutOfSolidIsNotClipped) {
    const KvzaPixel p = rgb_of(2, 0, 0);
    EXPECT_GT(p.c, 1.0f);
    EXPECT_LT(p.s, 0.0f);
    KvzaPixel rgba{2, 0, 0, 0.3f};
    kvza_kvza2rgba(&rgba, &rgba);
    EXPECT_EQ(rgba.a, 0.3f);
    kvza_cliprgba(&rgba, &rgba);
    expect_pixel(rgba, 1, 0, 0);
}

TEST(RoundTrip, EveryRgbReturnsWithinFloatRounding) {
    // Every 8-bit level in steps of 3 plus 255 on each channel: 87^3 colours.
    double worst = 0;
    for (int r = 0; r <= 258; r += 3) {
        for (int g = 0; g <= 258; g += 3) {
            for (int b = 0; b <= 258; b += 3) {
                const float fr = static_cast<float>(std::min(r, 255)) * 0.003921569f;
                const float fg = static_cast<float>(std::min(g, 255)) * 0.003921569f;
                const float fb = static_cast<float>(std::min(b, 255)) * 0.003921569f;
                KvzaPixel p{fr, fg, fb, 1};
                kvza_rgb2kvz(&p, &p);
                kvza_kvz2rgb(&p, &p);
                worst = std::max({worst, std::fabs(static_cast<double>(p.c) - fr), std::fabs(static_cast<double>(p.s) - fg),
                                  std::fabs(static_cast<double>(p.w) - fb)});
            }
        }
    }
    EXPECT_LT(worst, 2e-6) << "largest channel error " << worst;
}

TEST(RoundTrip, RgbAgreesWithHlsPath) {
    // RGB (0.8, 0.4, 0.2): L = 0.5, S = 0.6, hue 20 degrees.
    KvzaPixel hls{20.0f / 360.0f, 0.5f, 0.6f, 1};
    KvzaPixel a{}, b{};
    kvza_hls2kvz(&a, &hls);
    KvzaPixel rgb{0.8f, 0.4f, 0.2f, 1};
    kvza_rgb2kvz(&b, &rgb);
    expect_pixel(a, b.c, b.s, b.w, 1e-6);
}

TEST(HlsToKvz, UnitCircleAndWhite) {
    KvzaPixel hls{0.25f, 0.5f, 1.0f, 0.5f};
    KvzaPixel out{};
    kvza_hlsa2kvza(&out, &hls);
    expect_pixel(out, 0, 1, 0, 1e-6);
    EXPECT_EQ(out.a, 0.5f);
    KvzaPixel white{0.3f, 1.0f, 1.0f, 1};
    kvza_hls2kvz(&white, &white);
    EXPECT_NEAR(kvza_getpixchroma(&white), 0.0, 1e-7);
    EXPECT_EQ(white.w, 1.0f);
}

TEST(Measures, SubhueIsSignedTurnsAndGreyMatchesAll) {
    const KvzaPixel red = kvz_of(1, 0, 0);
    const KvzaPixel green = kvz_of(0, 1, 0);
    const KvzaPixel grey{0, 0, 0.3f, 1};
    EXPECT_NEAR(kvza_subhue(&red, &green), -1.0 / 3.0, 1e-6);
    EXPECT_NEAR(kvza_subhue(&green, &red), 1.0 / 3.0, 1e-6);
    EXPECT_EQ(kvza_subhue(&red, &grey), 0.0f);
    EXPECT_EQ(kvza_subhue(&grey, &red), 0.0f);
    EXPECT_EQ(kvza_subhue(nullptr, &red), 0.0f);
    EXPECT_EQ(kvza_getpixchroma(nullptr), 0.0f);
    const KvzaPixel p{0.3f, 0.4f, 0, 1};
    EXPECT_FLOAT_EQ(kvza_getpixchroma(&p), 0.5f);
}
