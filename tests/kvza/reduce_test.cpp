// Seed palettes, palette optimisation and colour reduction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>
#include <vector>

#include "image_block.h"

// The seed builder is internal to the library (not exported), so the test
// compiles its own copy.
#include "seeds.cpp"

using kvzatest::at;
using kvzatest::ImagePtr;
using kvzatest::make_image;

namespace {

constexpr float kEps = 1e-6f;

bool same(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

KvzaPixel px(float c, float s, float w, float a) {
    return KvzaPixel{c, s, w, a};
}

// One row holding the given pixels.
ImagePtr row(const std::vector<KvzaPixel> &pixels) {
    auto img = make_image(static_cast<int>(pixels.size()), 1);
    for (size_t i = 0; i < pixels.size(); ++i) img->pixels[i] = pixels[i];
    return img;
}

// A recognisable value in every palette entry, to see which ones were written.
const KvzaPixel kMarker = px(0.125f, -0.25f, 0.375f, 0.5f);
void mark_palette(KvzaImage *img) {
    for (KvzaPixel &e : img->palette) e = kMarker;
}

// w x h pixels of pairwise different colours inside the colour solid, with
// alphas spread over 0 .. 1 (every fifth one transparent).
ImagePtr varied(int w, int h) {
    auto img = make_image(w, h);
    uint32_t rng = 2024;
    auto next = [&rng] {
        rng = rng * 1103515245U + 12345U;
        return static_cast<float>((rng >> 9) & 0xFFFF) / 65535.0f;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int i = x + y * w;
            const float hue = next() * 6.2831853f;
            const float wh = next() * 1.6f - 0.8f;
            const float chroma = next() * 0.55f;
            const float a = i % 5 == 0 ? 0.0f : next();
            at(img.get(), x, y) = px(chroma * std::cos(hue), chroma * std::sin(hue), wh, a);
        }
    }
    return img;
}

double chroma_c(double chroma, double degrees) {
    return chroma * std::cos(degrees * std::numbers::pi / 180.0);
}
double chroma_s(double chroma, double degrees) {
    return chroma * std::sin(degrees * std::numbers::pi / 180.0);
}

void expect_entry(const KvzaPixel &e, double c, double s, double w, double a) {
    EXPECT_NEAR(e.c, c, kEps);
    EXPECT_NEAR(e.s, s, kEps);
    EXPECT_NEAR(e.w, w, kEps);
    EXPECT_NEAR(e.a, a, kEps);
}

std::vector<KvzaPixel> seed(uint32_t size) {
    std::vector<KvzaPixel> out(KVZA_PALETTE_ENTRIES, px(9, 9, 9, 9));
    out.resize(kvza::build_seed(size, out.data()));
    return out;
}

// Records every callback as (done, total); stops when done reaches stop_at.
struct Recorder {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    uint32_t stop_at = UINT32_MAX;
    static int32_t callback(void *user, uint32_t done, uint32_t total) {
        auto *r = static_cast<Recorder *>(user);
        r->calls.emplace_back(done, total);
        return done >= r->stop_at ? 1 : 0;
    }
    KvzaProgress progress() { return KvzaProgress{&Recorder::callback, this, 0, 0, 0, 0}; }
};

}  // namespace

// ---- seed palettes -----------------------------------------------------------

TEST(Seeds, EachSeedHasTheLengthItIsNamedFor) {
    for (uint32_t size : kvza::kSeedSizes) {
        EXPECT_EQ(seed(size).size(), size) << "seed " << size;
    }
    EXPECT_TRUE(seed(3).empty());
    EXPECT_TRUE(seed(100).empty());
}

TEST(Seeds, ChoiceByPaletteSize) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 2},   {1, 2},    {2, 2},    {3, 2},     {4, 4},     {7, 4},     {8, 8},
        {11, 8},  {12, 12},  {15, 12},  {16, 16},   {31, 16},   {32, 32},   {63, 32},
        {64, 64}, {100, 64}, {127, 64}, {128, 128}, {255, 128}, {256, 256}, {1000, 256}};
    for (auto [n, size] : cases) EXPECT_EQ(kvza::seed_size_for(n), size) << "n = " << n;
}

TEST(Seeds, EntriesLieInTheColourSolidWithThreeAlphaLevels) {
    for (uint32_t size : kvza::kSeedSizes) {
        const auto s = seed(size);
        for (size_t i = 0; i < s.size(); ++i) {
            const KvzaPixel &e = s[i];
            const float d = e.c * e.c + e.s * e.s + e.w * e.w;
            if (size == 128 && i == 15) {
                // The one exception: full chroma at 45 degrees, raised to w 1/3.
                EXPECT_NEAR(d, 1.0f + 1.0f / 9, kEps);
            } else {
                EXPECT_LE(d, 1.0f + 1e-5f) << "seed " << size << " entry " << i;
            }
            EXPECT_TRUE(e.a == 0.0f || e.a == 0.5f || e.a == 1.0f) << "seed " << size;
        }
    }
}

TEST(Seeds, SmallSeedsAsListed) {
    auto s2 = seed(2);
    EXPECT_TRUE(same(s2[0], px(0, 0, 1, 1)));
    EXPECT_TRUE(same(s2[1], px(0, 0, -1, 0)));

    const KvzaPixel four[] = {px(0, 0, 0, 0), px(0, 0, 1, 1), px(0, 0, 0, 1), px(0, 0, -1, 1)};
    auto s4 = seed(4);
    auto s8 = seed(8);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(same(s4[i], four[i])) << i;
        EXPECT_TRUE(same(s8[i], four[i])) << i;
    }
    EXPECT_TRUE(same(s8[4], px(1, 0, 0, 1)));
    EXPECT_TRUE(same(s8[5], px(0, 1, 0, 1)));
    EXPECT_TRUE(same(s8[6], px(-1, 0, 0, 1)));
    EXPECT_TRUE(same(s8[7], px(0, -1, 0, 1)));

    const KvzaPixel twelve[] = {px(0, 0, 1, 0),  px(0, 0, 0, 0),  px(0, 0, -1, 0), px(0, 0, 1, 1),
                                px(0, 0, 0, 1),  px(0, 0, -1, 1), px(1, 0, 0, 1),  px(0, 1, 0, 1),
                                px(-1, 0, 0, 1), px(0, -1, 0, 1), px(0, 0, 0, 0),  px(0, 0, 0, 0)};
    auto s12 = seed(12);
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(same(s12[i], twelve[i])) << i;
}

TEST(Seeds, SixteenHasTwoHueRings) {
    auto s = seed(16);
    auto s12 = seed(12);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(same(s[i], s12[i])) << i;
    // Quarter turns are exact, with no rounding residue of cos and sin.
    EXPECT_TRUE(same(s[6], px(0.5f, 0, 0, 1)));
    EXPECT_TRUE(same(s[7], px(0, 0.5f, 0, 1)));
    EXPECT_TRUE(same(s[8], px(-0.5f, 0, 0, 1)));
    EXPECT_TRUE(same(s[9], px(0, -0.5f, 0, 1)));
    for (int i = 0; i < 6; ++i) {
        expect_entry(s[10 + i], chroma_c(1, 60.0 * i), chroma_s(1, 60.0 * i), 0, 1);
    }
}

TEST(Seeds, ThirtyTwo) {
    auto s = seed(32);
    const double r5 = std::sqrt(0.75);
    const double greys[8][2] = {{1, 0},   {0, 0}, {-1, 0},   {1, 1},
                                {0.5, 1}, {0, 1}, {-0.5, 1}, {-1, 1}};
    for (int i = 0; i < 8; ++i) expect_entry(s[i], 0, 0, greys[i][0], greys[i][1]);
    for (int i = 0; i < 6; ++i) {
        expect_entry(s[8 + i], chroma_c(r5, 60.0 * i), chroma_s(r5, 60.0 * i), 0.5, 1);
        expect_entry(s[14 + i], chroma_c(1, 60.0 * i), chroma_s(1, 60.0 * i), 0, 1);
        EXPECT_TRUE(same(s[20 + i], s[14 + i])) << "the full-chroma ring appears twice";
        expect_entry(s[26 + i], chroma_c(r5, 60.0 * i), chroma_s(r5, 60.0 * i), -0.5, 1);
    }
}

TEST(Seeds, SixtyFour) {
    auto s = seed(64);
    const double ws[5] = {1, 0.5, 0, -0.5, -1};
    for (int i = 0; i < 5; ++i) {
        expect_entry(s[i], 0, 0, ws[i], 0);
        expect_entry(s[11 + i], 0, 0, ws[i], 1);
    }
    for (int i = 0; i < 6; ++i)
        expect_entry(s[5 + i], chroma_c(1, 60.0 * i), chroma_s(1, 60.0 * i), 0, 0);
    const double r5 = std::sqrt(0.75);
    expect_entry(s[16], r5 / 2, 0, 0.5, 1);
    expect_entry(s[22], r5, 0, 0.5, 1);
    expect_entry(s[28], 0.5, 0, 0, 1);
    expect_entry(s[29], chroma_c(0.5, 30), chroma_s(0.5, 30), 0, 1);
    expect_entry(s[40], 1, 0, 0, 1);
    expect_entry(s[51], chroma_c(1, 330), chroma_s(1, 330), 0, 1);
    expect_entry(s[52], r5 / 2, 0, -0.5, 1);
    expect_entry(s[63], chroma_c(r5, 300), chroma_s(r5, 300), -0.5, 1);
}

TEST(Seeds, OneHundredTwentyEight) {
    auto s = seed(128);
    expect_entry(s[0], 0, 0, 1, 0);
    expect_entry(s[3], 1, 0, 0, 0);
    const double ws[5] = {1, 0.5, 0, -0.5, -1};
    for (int i = 0; i < 5; ++i) expect_entry(s[9 + i], 0, 0, ws[i], 0.5);
    // Chroma 1 every 45 degrees at half alpha, except the 45-degree one.
    for (int i = 0; i < 8; ++i) {
        if (i == 1) continue;
        expect_entry(s[14 + i], chroma_c(1, 45.0 * i), chroma_s(1, 45.0 * i), 0, 0.5);
    }
    expect_entry(s[15], std::sqrt(0.5), std::sqrt(0.5), 1.0 / 3, 1);
    const double greys[7] = {1, 2.0 / 3, 1.0 / 3, 0, -1.0 / 3, -2.0 / 3, -1};
    for (int i = 0; i < 7; ++i) expect_entry(s[22 + i], 0, 0, greys[i], 1);
    const double r23 = std::sqrt(1 - 4.0 / 9), r13 = std::sqrt(1 - 1.0 / 9);
    expect_entry(s[29], r23, 0, 2.0 / 3, 1);
    expect_entry(s[41], r13 / 2, 0, 1.0 / 3, 1);
    expect_entry(s[49], r13, 0, 1.0 / 3, 1);
    const double hues[10] = {0, 90, 180, 270, 180, 210, 240, 270, 300, 330};
    for (int i = 0; i < 10; ++i) {
        expect_entry(s[61 + i], chroma_c(1.0 / 3, hues[i]), chroma_s(1.0 / 3, hues[i]), 0, 1);
    }
    expect_entry(s[71], 2.0 / 3, 0, 0, 1);
    expect_entry(s[83], 1, 0, 0, 1);
    expect_entry(s[95], r13 / 2, 0, -1.0 / 3, 1);
    expect_entry(s[103], r13, 0, -1.0 / 3, 1);
    expect_entry(s[115], r23, 0, -2.0 / 3, 1);
    expect_entry(s[126], chroma_c(r23, 330), chroma_s(r23, 330), -2.0 / 3, 1);
    EXPECT_TRUE(same(s[127], px(0, 0, 0, 0)));
}

TEST(Seeds, TwoHundredFiftySix) {
    auto s = seed(256);
    const double ws[9] = {1, 0.75, 0.5, 0.25, 0, -0.25, -0.5, -0.75, -1};
    for (int i = 0; i < 9; ++i) expect_entry(s[i], 0, 0, ws[i], 1);
    auto r = [](double w) { return std::sqrt(1 - w * w); };
    // First entry of each ring at hue 0, by position.
    const struct {
        int index;
        double w, chroma;
    } firsts[] = {{9, 0.75, r(0.75) / 2},
                  {15, 0.75, r(0.75)},
                  {27, 0.5, r(0.5) / 2},
                  {39, 0.5, r(0.5)},
                  {51, 0.25, r(0.25) / 3},
                  {57, 0.25, 2 * r(0.25) / 3},
                  {69, 0.25, r(0.25)},
                  {87, 0, 0.25},
                  {93, 0, 0.5},
                  {105, 0, 0.75},
                  {123, 0, 1},
                  {147, -0.25, r(0.25) / 3},
                  {153, -0.25, 2 * r(0.25) / 3},
                  {165, -0.25, r(0.25)},
                  {183, -0.5, r(0.5) / 2},
                  {195, -0.5, r(0.5)},
                  {207, -0.75, r(0.75) / 2},
                  {213, -0.75, r(0.75)}};
    for (const auto &f : firsts) expect_entry(s[f.index], f.chroma, 0, f.w, 1);
    expect_entry(s[146], chroma_c(1, 345), chroma_s(1, 345), 0, 1);
    expect_entry(s[88], chroma_c(0.25, 60), chroma_s(0.25, 60), 0, 1);
    expect_entry(s[225], 0, 0, 1, 0.5);
    expect_entry(s[226], 0, 0, 0, 0.5);
    expect_entry(s[227], 0, 0, -1, 0.5);
    expect_entry(s[228], r(0.5), 0, 0.5, 0.5);
    expect_entry(s[234], 1, 0, 0, 0.5);
    expect_entry(s[240], r(0.5), 0, -0.5, 0.5);
    expect_entry(s[246], 0, 0, 1, 0);
    expect_entry(s[249], 1, 0, 0, 0);
    EXPECT_TRUE(same(s[255], px(0, 0, 0, 0)));
    int transparent = 0, half = 0;
    for (const KvzaPixel &e : s) {
        transparent += e.a == 0.0f;
        half += e.a == 0.5f;
    }
    EXPECT_EQ(transparent, 10);
    EXPECT_EQ(half, 21);
}

// ---- arguments -------------------------------------------------------------

TEST(ReduceArguments, MissingImageFails) {
    EXPECT_EQ(kvza_optimpal(nullptr, 0, 16, nullptr), KVZA_FAILED);
    EXPECT_EQ(kvza_reduce(nullptr, 0, 16, 256, nullptr, nullptr, nullptr), KVZA_FAILED);
}

TEST(ReduceArguments, OptimpalWithZeroColoursFails) {
    auto img = row({px(0.1f, 0, 0, 1)});
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 0, nullptr), KVZA_FAILED);
    EXPECT_TRUE(same(img->palette[0], kMarker));
}

TEST(ReduceArguments, EmptyImageLeavesPaletteAlone) {
    auto img = make_image(0, 0);
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 16, nullptr), KVZA_OK);
    EXPECT_EQ(kvza_reduce(img.get(), 1, 16, 256, nullptr, nullptr, nullptr), KVZA_OK);
    for (const KvzaPixel &e : img->palette) EXPECT_TRUE(same(e, kMarker));
}

TEST(ReduceArguments, ReduceBelowThreeColoursMeansTwo) {
    // Two distinct colours fit a two-entry palette: no clustering for any n below 3.
    for (uint32_t n : {0U, 1U, 2U}) {
        auto img = row({px(0.2f, 0, 0.5f, 1), px(-0.2f, 0, -0.5f, 1), px(0.2f, 0, 0.5f, 1)});
        mark_palette(img.get());
        EXPECT_EQ(kvza_reduce(img.get(), 2, n, 256, nullptr, nullptr, nullptr), KVZA_OK);
        EXPECT_TRUE(same(img->palette[0], px(0.2f, 0, 0.5f, 1))) << n;
        EXPECT_TRUE(same(img->palette[1], px(-0.2f, 0, -0.5f, 1))) << n;
        EXPECT_TRUE(same(img->palette[2], kMarker)) << n;
    }
}

TEST(ReduceArguments, ReduceWithOneColourIsTwoColourClustering) {
    auto run = [](uint32_t n) {
        auto img = varied(8, 8);
        EXPECT_EQ(kvza_reduce(img.get(), 2, n, 256, nullptr, nullptr, nullptr), KVZA_OK);
        return img;
    };
    auto one = run(1);
    auto two = run(2);
    auto zero = run(0);
    const size_t bytes = KVZA_HEADER_BYTES + 64 * sizeof(KvzaPixel);
    EXPECT_EQ(std::memcmp(one.get(), two.get(), bytes), 0);
    EXPECT_EQ(std::memcmp(zero.get(), two.get(), bytes), 0);
}

TEST(ReduceArguments, MoreThan256ColoursCountAs256) {
    auto a = varied(20, 20);
    auto b = varied(20, 20);
    EXPECT_EQ(kvza_optimpal(a.get(), 2, 256, nullptr), KVZA_OK);
    EXPECT_EQ(kvza_optimpal(b.get(), 2, 100000, nullptr), KVZA_OK);
    EXPECT_EQ(std::memcmp(a->palette, b->palette, sizeof a->palette), 0);

    auto c = varied(20, 20);
    auto d = varied(20, 20);
    EXPECT_EQ(kvza_reduce(c.get(), 1, 256, 256, nullptr, nullptr, nullptr), KVZA_OK);
    EXPECT_EQ(kvza_reduce(d.get(), 1, 257, 256, nullptr, nullptr, nullptr), KVZA_OK);
    const size_t bytes = KVZA_HEADER_BYTES + 400 * sizeof(KvzaPixel);
    EXPECT_EQ(std::memcmp(c.get(), d.get(), bytes), 0);
}

// ---- few distinct colours ----------------------------------------------------

class FewColours : public ::testing::TestWithParam<int32_t> {};

TEST_P(FewColours, ReduceKeepsPixelsAndListsColoursInOrder) {
    const int32_t mode = GetParam();
    const KvzaPixel red = px(0.5f, 0.1f, 0.0f, 1), blue = px(-0.3f, -0.4f, -0.2f, 1),
                    clear = px(0.0f, 0.2f, 0.7f, 0);
    const std::vector<KvzaPixel> pixels = {blue, blue, red, blue, clear, red, clear, blue};
    auto img = row(pixels);
    mark_palette(img.get());
    std::vector<uint8_t> index(pixels.size(), 99);
    EXPECT_EQ(kvza_reduce(img.get(), mode, 16, 256, nullptr, index.data(), nullptr), KVZA_OK);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_TRUE(same(img->pixels[i], pixels[i])) << i;
    EXPECT_TRUE(same(img->palette[0], blue));
    EXPECT_TRUE(same(img->palette[1], red));
    const KvzaPixel stored_clear = mode == 0 ? px(0.0f, 0.2f, 0.7f, 1) : clear;
    EXPECT_TRUE(same(img->palette[2], stored_clear));
    for (int k = 3; k < KVZA_PALETTE_ENTRIES; ++k) EXPECT_TRUE(same(img->palette[k], kMarker)) << k;
    const uint8_t expected[] = {0, 0, 1, 0, 2, 1, 2, 0};
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(index[i], expected[i]) << i;
}

TEST_P(FewColours, OptimpalListsColoursAndLeavesPixels) {
    const int32_t mode = GetParam();
    const std::vector<KvzaPixel> pixels = {px(0.1f, 0, 0, 1), px(0.2f, 0, 0, 1), px(0.1f, 0, 0, 1)};
    auto img = row(pixels);
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), mode, 2, nullptr), KVZA_OK);
    EXPECT_TRUE(same(img->palette[0], pixels[0]));
    EXPECT_TRUE(same(img->palette[1], pixels[1]));
    EXPECT_TRUE(same(img->palette[2], kMarker));
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_TRUE(same(img->pixels[i], pixels[i]));
}

INSTANTIATE_TEST_SUITE_P(AlphaModes, FewColours, ::testing::Values(0, 1, 2));

TEST(FewColoursOpaque, ColoursDifferingOnlyInAlphaAreOneAndPixelsStay) {
    const std::vector<KvzaPixel> pixels = {px(0.1f, 0.2f, 0.3f, 0.25f), px(0.1f, 0.2f, 0.3f, 0.0f),
                                           px(-0.1f, 0, 0, 0.5f)};
    auto img = row(pixels);
    mark_palette(img.get());
    EXPECT_EQ(kvza_reduce(img.get(), 0, 2, 256, nullptr, nullptr, nullptr), KVZA_OK);
    EXPECT_TRUE(same(img->palette[0], px(0.1f, 0.2f, 0.3f, 1)));
    EXPECT_TRUE(same(img->palette[1], px(-0.1f, 0, 0, 1)));
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_TRUE(same(img->pixels[i], pixels[i])) << i;
}

TEST(FewColoursOpaque, IndexBufferWithoutTouchingPixels) {
    const std::vector<KvzaPixel> pixels = {px(0.3f, 0, 0, 0.5f), px(0, 0.3f, 0, 1),
                                           px(0.3f, 0, 0, 0.5f)};
    auto img = row(pixels);
    uint8_t index[3] = {7, 7, 7};
    EXPECT_EQ(kvza_reduce(img.get(), 0, 4, 256, nullptr, index, nullptr), KVZA_OK);
    EXPECT_EQ(index[0], 0);
    EXPECT_EQ(index[1], 1);
    EXPECT_EQ(index[2], 0);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_TRUE(same(img->pixels[i], pixels[i])) << i;
}

TEST(FewColoursBinary, PartialAlphaBecomesOpaqueAndIsComparedAsStored) {
    // The stored entry has alpha 1, so a second pixel with alpha 0.4 does not
    // match it and is listed again.
    const KvzaPixel half = px(0.2f, 0.1f, 0, 0.4f);
    const KvzaPixel faint = px(-0.2f, 0, 0, 0.0005f);
    auto img = row({half, half, faint, px(0.2f, 0.1f, 0, 1)});
    mark_palette(img.get());
    EXPECT_EQ(kvza_reduce(img.get(), 1, 8, 256, nullptr, nullptr, nullptr), KVZA_OK);
    EXPECT_TRUE(same(img->palette[0], px(0.2f, 0.1f, 0, 1)));
    EXPECT_TRUE(same(img->palette[1], px(0.2f, 0.1f, 0, 1)));
    EXPECT_TRUE(same(img->palette[2], px(-0.2f, 0, 0, 0)));
    EXPECT_TRUE(same(img->palette[3], kMarker));
    // Pixels take their entry: the first of the equal entries, alpha normalised.
    EXPECT_TRUE(same(img->pixels[0], px(0.2f, 0.1f, 0, 1)));
    EXPECT_TRUE(same(img->pixels[1], px(0.2f, 0.1f, 0, 1)));
    EXPECT_TRUE(same(img->pixels[2], px(-0.2f, 0, 0, 0)));
    EXPECT_TRUE(same(img->pixels[3], px(0.2f, 0.1f, 0, 1)));
}

TEST(FewColoursBytes, NegativeZeroIsAnotherColour) {
    auto img = row({px(0.0f, 0, 0, 1), px(-0.0f, 0, 0, 1)});
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 4, nullptr), KVZA_OK);
    EXPECT_TRUE(same(img->palette[0], px(0.0f, 0, 0, 1)));
    EXPECT_TRUE(same(img->palette[1], px(-0.0f, 0, 0, 1)));
    EXPECT_TRUE(same(img->palette[2], kMarker));
}

TEST(FewColoursBytes, ExactlyNColoursIsNotTooMany) {
    auto img = row({px(0.1f, 0, 0, 1), px(0.2f, 0, 0, 1), px(0.3f, 0, 0, 1), px(0.4f, 0, 0, 1)});
    EXPECT_EQ(kvza_optimpal(img.get(), 0, 4, nullptr), KVZA_OK);
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(same(img->palette[k], img->pixels[k])) << k;
}

// ---- many distinct colours -----------------------------------------------------

class ManyColours : public ::testing::TestWithParam<int32_t> {};

TEST_P(ManyColours, EveryPixelIsTheDitheredChoiceOfAnEntry) {
    const int32_t mode = GetParam();
    constexpr int kW = 16, kH = 12;
    constexpr uint32_t kN = 12;
    auto img = varied(kW, kH);
    auto original = varied(kW, kH);
    mark_palette(img.get());
    // A table of its own: every position's threshold is 100.
    uint8_t table[256];
    std::memset(table, 100, sizeof table);
    std::vector<uint8_t> index(kW * kH, 0xEE);
    EXPECT_EQ(kvza_reduce(img.get(), mode, kN, 256, table, index.data(), nullptr), KVZA_OK);
    for (uint32_t k = 0; k < kN; ++k) {
        const KvzaPixel &e = img->palette[k];
        EXPECT_LE(e.c * e.c + e.s * e.s + e.w * e.w, 1.0f + 1e-5f);
        if (mode == 0) {
            EXPECT_EQ(e.a, 1.0f);
        } else if (mode == 1) {
            EXPECT_TRUE(e.a == 0.0f || e.a == 1.0f) << e.a;
        } else {
            EXPECT_TRUE(e.a >= 0.0f && e.a <= 1.0f) << e.a;
        }
    }
    for (int k = kN; k < KVZA_PALETTE_ENTRIES; ++k) EXPECT_TRUE(same(img->palette[k], kMarker));
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const int i = x + y * kW;
            ASSERT_LT(index[i], kN);
            EXPECT_TRUE(same(img->pixels[i], img->palette[index[i]])) << i;
            const int32_t expected = kvza_nearpal_dit(mode, img->palette, kN, &original->pixels[i],
                                                      1, 1, 1, x, y, 256, table);
            EXPECT_EQ(index[i], expected) << x << "," << y;
            if (mode == 0) {
                EXPECT_EQ(img->pixels[i].a, 1.0f);
            }
        }
    }
}

TEST_P(ManyColours, OptimpalLeavesPixelsAndWritesNEntries) {
    const int32_t mode = GetParam();
    auto img = varied(10, 10);
    auto original = varied(10, 10);
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), mode, 20, nullptr), KVZA_OK);
    EXPECT_EQ(std::memcmp(img->pixels, original->pixels, 100 * sizeof(KvzaPixel)), 0);
    int written = 0;
    for (int k = 0; k < 20; ++k) written += !same(img->palette[k], kMarker);
    EXPECT_EQ(written, 20);
    for (int k = 20; k < KVZA_PALETTE_ENTRIES; ++k) EXPECT_TRUE(same(img->palette[k], kMarker));
}

TEST_P(ManyColours, ZeroLevelsGiveTheNearestEntry) {
    const int32_t mode = GetParam();
    auto img = varied(9, 7);
    auto original = varied(9, 7);
    std::vector<uint8_t> index(63);
    EXPECT_EQ(kvza_reduce(img.get(), mode, 6, 0, nullptr, index.data(), nullptr), KVZA_OK);
    for (int i = 0; i < 63; ++i) {
        KvzaPixel p = original->pixels[i];
        // Binary alpha is dithered before the search; with no levels only an
        // alpha of 1 or more stays opaque.
        if (mode == 1) p.a = std::fabs(p.a) >= 1.0f ? 1.0f : 0.0f;
        EXPECT_EQ(index[i], kvza_nearpal(mode, img->palette, 6, &p, 1, 1, 1)) << i;
        EXPECT_TRUE(same(img->pixels[i], img->palette[index[i]])) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(AlphaModes, ManyColours, ::testing::Values(0, 1, 2));

// ---- clustering worked by hand ----------------------------------------------

TEST(Clustering, TwoSeparatedGroupsEndAsTheirMeans) {
    // Two-entry seed, opaque: white and black. Three light and three dark
    // greyish colours; no free slot, so no split.
    const std::vector<KvzaPixel> pixels = {px(0.05f, 0, 0.8f, 1),      px(-0.5f, 0.1f, -0.7f, 1),
                                           px(0, 0.05f, 0.9f, 1),      px(-0.4f, 0.2f, -0.8f, 1),
                                           px(0.1f, -0.05f, 0.85f, 1), px(-0.45f, 0, -0.75f, 1),
                                           px(0.05f, 0, 0.8f, 1)};
    auto img = row(pixels);
    mark_palette(img.get());
    std::vector<uint8_t> index(pixels.size());
    EXPECT_EQ(kvza_reduce(img.get(), 0, 2, 0, nullptr, index.data(), nullptr), KVZA_OK);
    // Light: (0.05,0,0.8) twice, (0,0.05,0.9), (0.1,-0.05,0.85).
    expect_entry(img->palette[0], 0.2 / 4, 0.0 / 4, 3.35 / 4, 1);
    expect_entry(img->palette[1], -1.35 / 3, 0.3 / 3, -2.25 / 3, 1);
    EXPECT_TRUE(same(img->palette[2], kMarker));
    const uint8_t expected[] = {0, 1, 0, 1, 0, 1, 0};
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(index[i], expected[i]) << i;
        EXPECT_TRUE(same(img->pixels[i], img->palette[expected[i]])) << i;
    }
}

TEST(Clustering, SplitsTakeFreeSlotsFromTheTopOfTheStack) {
    // Four-entry seed, opaque: grey, white, grey, black. Every pixel is a grey
    // -ish colour on the c axis, so all start in slot 0; slots 1, 2, 3 are
    // free with 3 on top.
    //  split 0 into 0 {-0.6, -0.5} and 3 {0.4, 0.45, 0.6}: keys 0.01, 0.04
    //  split 3 into 3 {0.4, 0.45} and 2 {0.6}: keys 0.0025, 0
    //  split 0 into 0 {-0.6} and 1 {-0.5}: no free slot left.
    auto img = row({px(-0.6f, 0, 0, 1), px(-0.5f, 0, 0, 1), px(0.4f, 0, 0, 1), px(0.45f, 0, 0, 1),
                    px(0.6f, 0, 0, 1)});
    uint8_t index[5];
    EXPECT_EQ(kvza_reduce(img.get(), 0, 4, 0, nullptr, index, nullptr), KVZA_OK);
    expect_entry(img->palette[0], -0.6, 0, 0, 1);
    expect_entry(img->palette[1], -0.5, 0, 0, 1);
    expect_entry(img->palette[2], 0.6, 0, 0, 1);
    expect_entry(img->palette[3], 0.425, 0, 0, 1);
    const uint8_t expected[] = {0, 1, 3, 3, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(index[i], expected[i]) << i;
}

TEST(Clustering, EqualKeysSplitTheLaterInsertedSlotFirst) {
    // Light and dark groups of the same extent land in slots 1 and 3 with
    // equal keys; 3 was inserted last, so it is split first, into slot 2
    // (top of the free stack), and the light group then into slot 0.
    auto img = row({px(-0.1f, 0, 0.9f, 1), px(0, 0, 0.9f, 1), px(0.1f, 0, 0.9f, 1),
                    px(-0.1f, 0, -0.9f, 1), px(0, 0, -0.9f, 1), px(0.1f, 0, -0.9f, 1)});
    EXPECT_EQ(kvza_optimpal(img.get(), 0, 4, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0.1, 0, 0.9, 1);
    expect_entry(img->palette[1], -0.05, 0, 0.9, 1);
    expect_entry(img->palette[2], 0.1, 0, -0.9, 1);
    expect_entry(img->palette[3], -0.05, 0, -0.9, 1);
}

// Transparent colours spread along c and two opaque near-white colours.
std::vector<KvzaPixel> transparent_spread_and_light_pair(float clear_alpha, float solid_alpha) {
    return {px(-0.5f, 0, 0, clear_alpha), px(0, 0, 0, clear_alpha), px(0.5f, 0, 0, clear_alpha),
            px(-0.1f, 0, 0.9f, solid_alpha), px(0.1f, 0, 0.9f, solid_alpha)};
}

TEST(Clustering, FullAlphaNeverSplitsATransparentCentre) {
    // Seed 4 in mode 2: transparent grey, white, grey, black. The transparent
    // pixels sit in slot 0 whose key is 0 despite the widest extent; the light
    // pair is split into slot 3, after which every key is 0 and slot 2 stays free.
    auto img = row(transparent_spread_and_light_pair(0, 1));
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 4, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0, 0, 0, 0);
    expect_entry(img->palette[1], -0.1, 0, 0.9, 1);
    EXPECT_TRUE(same(img->palette[2], px(0, 0, 0, 1)));
    expect_entry(img->palette[3], 0.1, 0, 0.9, 1);
}

TEST(Clustering, OpaqueModeSplitsTheWideGroupInstead) {
    // The same pixels with alpha ignored: the c-spread group in slot 0 has
    // the larger key and takes both free slots (3, then 2).
    auto img = row(transparent_spread_and_light_pair(0, 1));
    EXPECT_EQ(kvza_optimpal(img.get(), 0, 4, nullptr), KVZA_OK);
    expect_entry(img->palette[0], -0.5, 0, 0, 1);
    expect_entry(img->palette[1], 0, 0, 0.9, 1);
    expect_entry(img->palette[2], 0, 0, 0, 1);
    expect_entry(img->palette[3], 0.5, 0, 0, 1);
}

TEST(Clustering, BinaryAlphaByThreshold) {
    // Alpha 0.0005 counts as transparent, 0.5 as opaque; the final alphas are
    // the thresholded means.
    auto img = row(transparent_spread_and_light_pair(0.0005f, 0.5f));
    EXPECT_EQ(kvza_optimpal(img.get(), 1, 4, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0, 0, 0, 0);
    expect_entry(img->palette[1], -0.1, 0, 0.9, 1);
    EXPECT_TRUE(same(img->palette[2], px(0, 0, 0, 1)));
    expect_entry(img->palette[3], 0.1, 0, 0.9, 1);
}

TEST(Clustering, OneColourBehavesAsTwoWithWhiteAndTransparentBlack) {
    // kvza_reduce with n = 1 uses the two-entry seed: opaque white takes the
    // opaque pixels, transparent black the transparent ones.
    const std::vector<KvzaPixel> pixels = {px(0.1f, 0, 0.6f, 1), px(0, 0.2f, -0.2f, 0),
                                           px(-0.1f, 0, 0.4f, 1), px(0.3f, 0, 0.9f, 0),
                                           px(0, 0, 0.5f, 0.8f)};
    auto img = row(pixels);
    mark_palette(img.get());
    uint8_t index[5];
    EXPECT_EQ(kvza_reduce(img.get(), 2, 1, 0, nullptr, index, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0, 0, 1.5 / 3, 2.8 / 3);
    expect_entry(img->palette[1], 0.15, 0.1, 0.35, 0);
    EXPECT_TRUE(same(img->palette[2], kMarker));
    const uint8_t expected[] = {0, 1, 0, 1, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(index[i], expected[i]) << i;
}

TEST(Clustering, FullyTransparentImageOnlyMovesSeedEntriesToMeans) {
    // Sixteen-entry seed: the three transparent greys (w 1, 0, -1) take all
    // pixels by whiteness; every key is 0, nothing splits.
    const std::vector<KvzaPixel> pixels = {
        px(0, 0.1f, 0.9f, 0),   px(0, 0, 0.95f, 0),     px(0.05f, 0, 1.0f, 0),
        px(0, 0, -0.05f, 0),    px(0, 0, 0, 0),         px(0.1f, 0, 0.05f, 0),
        px(0, 0, -0.95f, 0),    px(0, -0.1f, -0.9f, 0), px(0.2f, 0, 0.8f, 0),
        px(-0.2f, 0, 0, 0),     px(0, 0, -0.85f, 0),    px(0, 0.2f, 0, 0),
        px(0.15f, 0.15f, 0, 0), px(0, 0, 0.85f, 0),     px(0, 0, -1.0f, 0),
        px(0.3f, 0, 0, 0),      px(0, 0.3f, 0, 0)};
    auto img = row(pixels);
    mark_palette(img.get());
    std::vector<uint8_t> index(pixels.size());
    EXPECT_EQ(kvza_reduce(img.get(), 2, 16, 256, nullptr, index.data(), nullptr), KVZA_OK);
    double sum[3][3] = {};
    int count[3] = {};
    for (const KvzaPixel &p : pixels) {
        const int g = p.w > 0.5f ? 0 : (p.w < -0.5f ? 2 : 1);
        sum[g][0] += p.c;
        sum[g][1] += p.s;
        sum[g][2] += p.w;
        ++count[g];
    }
    for (int g = 0; g < 3; ++g) {
        expect_entry(img->palette[g], sum[g][0] / count[g], sum[g][1] / count[g],
                     sum[g][2] / count[g], 0);
    }
    auto s16 = seed(16);
    for (int k = 3; k < 16; ++k) {
        expect_entry(img->palette[k], s16[k].c, s16[k].s, s16[k].w, s16[k].a);
    }
    for (int k = 16; k < KVZA_PALETTE_ENTRIES; ++k) EXPECT_TRUE(same(img->palette[k], kMarker));
    // A transparent nearest entry is never dithered away.
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int g = pixels[i].w > 0.5f ? 0 : (pixels[i].w < -0.5f ? 2 : 1);
        EXPECT_EQ(index[i], g) << i;
        EXPECT_TRUE(same(img->pixels[i], img->palette[g])) << i;
    }
}

TEST(Clustering, HundredColoursUseTheSixtyFourSeedAndZeroSlots) {
    // 101 transparent near-white colours, mode 2: all go to the transparent
    // white of the 64-entry seed; slots 64 .. 99 start as zero colours and,
    // empty and never split into, stay so.
    std::vector<KvzaPixel> pixels;
    double sum_w = 0;
    for (int i = 0; i < 101; ++i) {
        pixels.push_back(px(0, 0, 0.8f + 0.001f * i, 0));
        sum_w += pixels.back().w;
    }
    auto img = row(pixels);
    mark_palette(img.get());
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 100, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0, 0, sum_w / 101, 0);
    auto s64 = seed(64);
    for (int k = 1; k < 64; ++k) {
        expect_entry(img->palette[k], s64[k].c, s64[k].s, s64[k].w, s64[k].a);
    }
    for (int k = 64; k < 100; ++k) EXPECT_TRUE(same(img->palette[k], px(0, 0, 0, 0))) << k;
    for (int k = 100; k < KVZA_PALETTE_ENTRIES; ++k) EXPECT_TRUE(same(img->palette[k], kMarker));
}

TEST(Clustering, OpaqueModeMakesEveryPixelOpaque) {
    auto img = varied(12, 12);
    EXPECT_EQ(kvza_reduce(img.get(), 0, 32, 128, nullptr, nullptr, nullptr), KVZA_OK);
    for (int i = 0; i < 144; ++i) EXPECT_EQ(img->pixels[i].a, 1.0f) << i;
}

// ---- progress ------------------------------------------------------------------

TEST(ReduceProgress, FewColoursCountOneStepPerPixelThenFinish) {
    auto img = row({px(0.1f, 0, 0, 1), px(0.2f, 0, 0, 1), px(0.1f, 0, 0, 1)});
    Recorder rec;
    KvzaProgress prog = rec.progress();
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 8, &prog), KVZA_OK);
    const uint32_t total = 8 + 2 * 3;
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {1, total}, {2, total}, {3, total}, {total, total}};
    EXPECT_EQ(rec.calls, expected);
}

TEST(ReduceProgress, TooManyColoursSkipToTheAssignmentPass) {
    // Five colours for four entries: the scan stops at the fifth pixel having
    // counted four steps; done then jumps to 6 (the pixel count) and the
    // assignment pass counts on from there. All pixels sit in slot 0, whose
    // insertion into the sorted list is one more step; the splits count none.
    auto img = row({px(-0.6f, 0, 0, 1), px(-0.5f, 0, 0, 1), px(0.4f, 0, 0, 1), px(0.45f, 0, 0, 1),
                    px(0.6f, 0, 0, 1), px(0.6f, 0, 0, 1)});
    Recorder rec;
    KvzaProgress prog = rec.progress();
    EXPECT_EQ(kvza_optimpal(img.get(), 0, 4, &prog), KVZA_OK);
    const uint32_t total = 4 + 2 * 6;
    std::vector<std::pair<uint32_t, uint32_t>> expected;
    for (uint32_t d = 1; d <= 4; ++d) expected.emplace_back(d, total);   // scan
    for (uint32_t d = 7; d <= 12; ++d) expected.emplace_back(d, total);  // assignment
    expected.emplace_back(13, total);  // slot 0, the only non-empty one, inserted
    expected.emplace_back(total, total);
    EXPECT_EQ(rec.calls, expected);
}

TEST(ReduceProgress, CancelInTheScanReturnsAtOnceWithThePartialList) {
    auto img = varied(6, 6);
    auto original = varied(6, 6);
    mark_palette(img.get());
    Recorder rec;
    rec.stop_at = 1;
    KvzaProgress prog = rec.progress();
    EXPECT_EQ(kvza_reduce(img.get(), 2, 16, 256, nullptr, nullptr, &prog), KVZA_CANCELED);
    ASSERT_EQ(rec.calls.size(), 1U);  // no final report
    EXPECT_TRUE(same(img->palette[0], original->pixels[0]));
    EXPECT_TRUE(same(img->palette[1], kMarker));
    EXPECT_EQ(std::memcmp(img->pixels, original->pixels, 36 * sizeof(KvzaPixel)), 0);

    auto img2 = varied(6, 6);
    Recorder rec2;
    rec2.stop_at = 1;
    KvzaProgress prog2 = rec2.progress();
    EXPECT_EQ(kvza_optimpal(img2.get(), 0, 16, &prog2), KVZA_CANCELED);
    EXPECT_EQ(rec2.calls.size(), 1U);
}

TEST(ReduceProgress, CancelInTheClusteringLeavesPixels) {
    auto img = varied(6, 6);
    auto original = varied(6, 6);
    Recorder rec;
    rec.stop_at = 36 + 3;  // three pixels into the assignment pass
    KvzaProgress prog = rec.progress();
    std::vector<uint8_t> index(36, 0xAB);
    EXPECT_EQ(kvza_reduce(img.get(), 2, 4, 256, nullptr, index.data(), &prog), KVZA_CANCELED);
    EXPECT_EQ(std::memcmp(img->pixels, original->pixels, 36 * sizeof(KvzaPixel)), 0);
    for (uint8_t v : index) EXPECT_EQ(v, 0xAB);
    // The scan's list of the first four colours stays.
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(same(img->palette[k], original->pixels[k])) << k;
}

TEST(ReduceProgress, IntervalSpacesTheCallbacks) {
    auto img = varied(10, 10);
    Recorder rec;
    KvzaProgress prog = rec.progress();
    prog.interval = 9;
    EXPECT_EQ(kvza_reduce(img.get(), 1, 8, 256, nullptr, nullptr, &prog), KVZA_OK);
    ASSERT_FALSE(rec.calls.empty());
    const uint32_t total = 8 + 200;
    for (size_t i = 0; i + 1 < rec.calls.size(); ++i) {
        EXPECT_EQ(rec.calls[i].second, total);
        EXPECT_LT(rec.calls[i].first, total);
    }
    EXPECT_EQ(rec.calls.back(), std::make_pair(total, total));
}

// ---- degenerate data ---------------------------------------------------------

TEST(ReduceDegenerate, SplitThatCannotSeparateItsEndsTerminates) {
    // Slot 1 (opaque white of the four-entry seed) holds three colours that
    // differ by 1e-20 in c, a positive key. Splitting it gives centres whose
    // distances to every pixel differ by less than the alpha term can show,
    // so all pixels stay in slot 1 and the split would repeat for ever; the
    // slot is then left as it is.
    auto img = row({px(0, 0, 0.5f, 0.6f), px(1e-20f, 0, 0.5f, 0.6f), px(0, 0, 0.5f, 1),
                    px(0, 0, -1, 1), px(0, 0, 0, 0)});
    EXPECT_EQ(kvza_optimpal(img.get(), 2, 4, nullptr), KVZA_OK);
    expect_entry(img->palette[0], 0, 0, 0, 0);
    expect_entry(img->palette[1], 0, 0, 0.5, (0.6 + 0.6 + 1) / 3);
    expect_entry(img->palette[3], 0, 0, -1, 1);
}

TEST(ReduceDegenerate, NonFiniteAndExtremeValuesNeverBreakTheRun) {
    const float inf = INFINITY, nan = NAN;
    const float odd[] = {nan, inf, -inf, 1e30f, -1e30f, 1e-40f, -0.0f, 0.5f, -2.0f, 3.0f};
    constexpr int kW = 13, kH = 11;
    for (int32_t mode : {0, 1, 2, -7}) {
        for (uint32_t n : {2U, 5U, 64U, 256U}) {
            auto img = make_image(kW, kH);
            for (int i = 0; i < kW * kH; ++i) {
                img->pixels[i] =
                    px(odd[i % 10], odd[(i / 3) % 10], odd[(i / 7) % 10], odd[(i * 7 + 3) % 10]);
            }
            std::vector<uint8_t> index(kW * kH, 0xFF);
            EXPECT_EQ(kvza_reduce(img.get(), mode, n, 256, nullptr, index.data(), nullptr),
                      KVZA_OK);
            for (uint8_t k : index) EXPECT_LT(k, n);
            EXPECT_EQ(kvza_optimpal(img.get(), mode, n, nullptr), KVZA_OK);
        }
    }
}
