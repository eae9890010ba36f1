// Pixel values and pixel types of every layout, transparency from tRNS, and
// agreement with the BMP reader.
#include <cstring>

#include "png_fixture.h"

using namespace kintest;
using pngtest::encode;
using pngtest::layout;
using pngtest::PngSpec;

namespace {

// Pixels of the image that differ from those the file was written with, with the first of them.
::testing::AssertionResult matches(const Opened &o, const PngSpec &s) {
    if (o.status != 0) return ::testing::AssertionFailure() << "status " << o.status;
    int wrong = 0;
    ::testing::AssertionResult first = ::testing::AssertionSuccess();
    for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t x = 0; x < s.width; ++x) {
            auto same = same_pixel(pix(o.image, x, y), expected(s, x, y));
            if (!same && wrong++ == 0) first = same << " at " << x << ", " << y;
        }
    if (wrong == 0) return first;
    return first << " and " << wrong - 1 << " more";
}

struct Layout {
    uint8_t colour, depth;
    int16_t pixtype;
};
const Layout kLayouts[] = {{0, 1, 200}, {0, 2, 205},  {0, 4, 210},  {0, 8, 50},  {0, 16, 81},
                           {2, 8, 20},  {2, 16, 196}, {3, 1, 202},  {3, 2, 207}, {3, 4, 212},
                           {3, 8, 41},  {4, 8, 51},   {4, 16, 215}, {6, 8, 21},  {6, 16, 198}};

}  // namespace

TEST_F(Png, EveryLayoutGivesItsSamplesAndPixelType) {
    for (const Layout &l : kLayouts)
        for (bool interlaced : {false, true}) {
            const PngSpec s = layout(l.colour, l.depth, interlaced, 13, 11);
            const Opened o = open(reader(), encode(s));
            const std::string name = "colour " + std::to_string(l.colour) + " depth " +
                                     std::to_string(l.depth) + (interlaced ? " interlaced" : "");
            EXPECT_EQ(o.pixels, 13 * 11) << name;
            EXPECT_TRUE(matches(o, s)) << name;
            EXPECT_EQ(o.image->pixtype, l.pixtype) << name;
        }
}

TEST_F(Png, LargeImagesConvertedOnSeveralThreadsAreExact) {
    for (const PngSpec &s : {layout(6, 8, false, 700, 400), layout(2, 16, true, 613, 150),
                             layout(4, 8, true, 300, 301)})
        EXPECT_TRUE(matches(open(reader(), encode(s)), s)) << int(s.colour);
}

TEST_F(Png, TransparencyChunkGivesAlpha) {
    struct Case {
        const char *name;
        PngSpec spec;
        int16_t pixtype;
    };
    std::vector<Case> cases;
    for (uint8_t d : {1, 2, 4, 8, 16}) {
        PngSpec s = layout(0, d, d == 4, 9, 7);
        s.key = {s.samples[0]};
        cases.push_back({"grey key", s, static_cast<int16_t>(d == 16 ? 215 : 51)});
    }
    for (uint8_t d : {8, 16}) {
        PngSpec s = layout(2, d, d == 16, 9, 7);
        s.key.assign(s.samples.begin() + 3, s.samples.begin() + 6);
        cases.push_back({"rgb key", s, static_cast<int16_t>(d == 16 ? 198 : 21)});
    }
    PngSpec wide = layout(0, 4, false, 9, 7);
    wide.key = {200};  // no 4-bit sample can equal it
    cases.push_back({"grey key out of range", wide, 210});
    for (uint8_t d : {1, 4, 8}) {
        PngSpec s = layout(3, d, d == 4, 9, 7);
        s.palette_alpha = {0, 99};
        cases.push_back({"palette alpha", s, 40});
    }
    PngSpec opaque = layout(3, 2, false, 9, 7);
    opaque.palette_alpha = {255, 255, 255, 255};
    cases.push_back({"opaque palette alpha", opaque, 207});

    for (const Case &c : cases) {
        const Opened o = open(reader(), encode(c.spec));
        EXPECT_TRUE(matches(o, c.spec)) << c.name << " depth " << int(c.spec.depth);
        EXPECT_EQ(o.image->pixtype, c.pixtype) << c.name << " depth " << int(c.spec.depth);
        for (size_t i = 0; c.spec.colour == 3 && i < KVZA_PALETTE_ENTRIES; ++i) {
            // Entries past the palette keep the host's clear value.
            const bool listed = i < c.spec.palette.size();
            const uint32_t rgb = listed ? c.spec.palette[i] : 0;
            const float a = i < c.spec.palette_alpha.size() ? unit(c.spec.palette_alpha[i], 8) : 1;
            const KvzaPixel want =
                listed ? kvz8(rgb >> 16, (rgb >> 8) & 255, rgb & 255, a) : KvzaPixel{0, 0, 0, 0};
            EXPECT_PIXEL(o.image->palette[i], want) << c.name << " entry " << i;
        }
    }
}

TEST_F(Png, IndexPastThePaletteFailsAfterThePixelsBeforeIt) {
    PngSpec s = layout(3, 4, false, 6, 3);
    s.palette.resize(9);
    for (auto &v : s.samples) v %= 9;
    s.samples[8] = 12;
    const Opened o = open(reader(), encode(s));
    EXPECT_EQ(o.status, 1);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_PIXEL(pix(o.image, i % 6, i / 6), expected(s, i % 6, i / 6));
    EXPECT_TRUE(is_clear(pix(o.image, 2, 1)));
}
