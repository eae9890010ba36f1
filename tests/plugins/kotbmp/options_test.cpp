// How the switches and track bars act: merging with the background colour,
// the alpha threshold, alpha dithering and the dither strength.
#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

class Options : public WriterTest {
  protected:
    // One-pixel image over a blue background; returns the written red, green
    // and blue bytes of a 24-bit save.
    static uint32_t rgb_of(const KvzaPixel &p, const KotSaveOptions &o) {
        auto image = image_from({{p}});
        image->viewinfo[0] = 0;    // background red
        image->viewinfo[1] = 0;    // green
        image->viewinfo[2] = 255;  // blue
        const Saved s = save(image.get(), o);
        EXPECT_EQ(s.status, 0);
        if (s.bytes.size() != 58) {
            ADD_FAILURE() << "file of " << s.bytes.size() << " bytes";
            return 0xdeadbeef;
        }
        return (uint32_t{s.bytes[56]} << 16) | (uint32_t{s.bytes[55]} << 8) | s.bytes[54];
    }
};

const KvzaPixel kHalfRed = with_alpha(kRed.kvz, 0.5f);

TEST_F(Options, MergeCompositesOverTheBackground) {
    // Red at half alpha over blue: red 0.5, blue 1 + (0 - 1) x 0.5 = 0.5.
    EXPECT_EQ(rgb_of(kHalfRed, options(20, kMerge)), 0x7f007fu);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.0f), options(20, kMerge)), 0x0000ffu);
    EXPECT_EQ(rgb_of(kRed.kvz, options(20, kMerge)), 0xff0000u);
    // Without the switch, alpha is dropped.
    EXPECT_EQ(rgb_of(kHalfRed, options(20)), 0xff0000u);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.0f), options(20)), 0xff0000u);
}

TEST_F(Options, MergeUsesEachBackgroundChannel) {
    auto image = image_from({{with_alpha(kBlack.kvz, 0.0f), with_alpha(kWhite.kvz, 0.25f)}});
    image->viewinfo[0] = 255;  // background (255, 128, 0)
    image->viewinfo[1] = 128;
    image->viewinfo[2] = 0;
    const Saved s = save(image.get(), options(20, kMerge));
    ASSERT_EQ(s.status, 0);
    // Fully transparent black is the background itself.
    EXPECT_EQ(s.bytes[54], 0);
    EXPECT_EQ(s.bytes[55], 128);
    EXPECT_EQ(s.bytes[56], 255);
    // White at a quarter over it: 255 stays; 128 gives 128/255 + (1 - 128/255) / 4
    // = 0.62647, code 41055 >> 8 = 160 on the 65535 scale; 0 gives 0.25, code 63.
    EXPECT_EQ(s.bytes[57], 63);
    EXPECT_EQ(s.bytes[58], 160);
    EXPECT_EQ(s.bytes[59], 255);
}

TEST_F(Options, ThresholdMakesAlphaTwoValued) {
    // 0.5 x 255 = 127.5 -> 127: below 128 transparent, from 127 on opaque.
    EXPECT_EQ(rgb_of(kHalfRed, options(20, kMerge | kThreshold, 0, 128)), 0x0000ffu);
    EXPECT_EQ(rgb_of(kHalfRed, options(20, kMerge | kThreshold, 0, 127)), 0xff0000u);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.51f), options(20, kMerge | kThreshold)), 0xff0000u);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.49f), options(20, kMerge | kThreshold)), 0x0000ffu);
}

TEST_F(Options, ThresholdExtremes) {
    // 0: everything but exactly 0 is opaque.
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.001f), options(20, kMerge | kThreshold, 0, 0)),
              0xff0000u);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.0f), options(20, kMerge | kThreshold, 0, 0)),
              0x0000ffu);
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, -0.0f), options(20, kMerge | kThreshold, 0, 0)),
              0x0000ffu);
    // 256: everything below 1.0 is transparent; 1.0 stays opaque.
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.999f), options(20, kMerge | kThreshold, 0, 256)),
              0x0000ffu);
    EXPECT_EQ(rgb_of(kRed.kvz, options(20, kMerge | kThreshold, 0, 256)), 0xff0000u);
}

TEST_F(Options, ThresholdWithoutMergeDoesNothing) {
    EXPECT_EQ(rgb_of(with_alpha(kRed.kvz, 0.1f), options(20, kThreshold | kAlphaDither, 256, 256)),
              0xff0000u);
}

TEST_F(Options, AlphaDitheringRaisesTheAlphaCode) {
    // 0.5 is code 127 with fraction 255: the strongest dither adds 1 at every
    // position of the matrix (its largest byte is 251), so 128 reaches the
    // threshold. Without the switch, or with dither 0, it stays 127.
    auto image = kvzatest::make_image(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) kvzatest::at(image.get(), x, y) = kHalfRed;
    image->viewinfo[2] = 255;
    auto every_pixel = [&](const KotSaveOptions &o, uint32_t rgb) {
        const Saved s = save(image.get(), o);
        ASSERT_EQ(s.status, 0);
        ASSERT_EQ(s.bytes.size(), 54u + 8 * 24u);
        for (size_t i = 0; i < 64; ++i) {
            const size_t at = 54 + i * 3;
            EXPECT_EQ((uint32_t{s.bytes[at + 2]} << 16) | (s.bytes[at + 1] << 8) | s.bytes[at], rgb)
                << "pixel " << i;
        }
    };
    every_pixel(options(20, kMerge | kThreshold | kAlphaDither, 256), 0xff0000u);
    every_pixel(options(20, kMerge | kThreshold, 256), 0x0000ffu);
    every_pixel(options(20, kMerge | kThreshold | kAlphaDither, 0), 0x0000ffu);
}

// An alpha (or grey) value whose 8-bit code is 127 with a fraction of about
// 128: 32640 / 65535. Dithered at full strength it becomes 128 where the
// matrix byte is below 127 (no byte of the matrix is 127 or 128, so a float
// rounding of the fraction to 127 changes nothing).
constexpr float kHalfStep = 32640.0f / 65535.0f;

TEST_F(Options, AlphaDitheringFollowsTheMatrix) {
    auto image = kvzatest::make_image(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            kvzatest::at(image.get(), x, y) = with_alpha(kRed.kvz, kHalfStep);
    image->viewinfo[2] = 255;
    const Saved s = save(image.get(), options(20, kMerge | kThreshold | kAlphaDither, 256, 128));
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.bytes.size(), 54u + 8 * 24u);
    int opaque = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const size_t at = 54 + static_cast<size_t>(7 - y) * 24 + static_cast<size_t>(x) * 3;
            const bool red = s.bytes[at + 2] == 255 && s.bytes[at] == 0;
            const bool blue = s.bytes[at + 2] == 0 && s.bytes[at] == 255;
            EXPECT_TRUE(red || blue) << x << "," << y;
            EXPECT_EQ(red, kDitherBlock[y][x] < 127) << x << "," << y;
            opaque += red ? 1 : 0;
        }
    }
    EXPECT_EQ(opaque, 32);
}

TEST_F(Options, DitherOfGreyValuesFollowsTheMatrix) {
    auto image = kvzatest::make_image(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            kvzatest::at(image.get(), x, y) = KvzaPixel{0.0f, 0.0f, 2.0f * kHalfStep - 1.0f, 1.0f};
    const Saved plain = save(image.get(), options(50));
    const Saved dithered = save(image.get(), options(50, 0, 256));
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(dithered.status, 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const size_t at = 1078 + static_cast<size_t>(7 - y) * 8 + static_cast<size_t>(x);
            EXPECT_EQ(plain.bytes[at], 127) << x << "," << y;
            EXPECT_EQ(dithered.bytes[at], kDitherBlock[y][x] < 127 ? 128 : 127) << x << "," << y;
        }
    }
}

TEST_F(Options, DitherOfColourChannels) {
    // 0.75 is code 191 with fraction 255 in 8 bits and 11 with fraction 255
    // in 4 bits: at full strength every position rounds up. Full and empty
    // channels are never dithered.
    auto image = image_from({{kLight.kvz, kRed.kvz}});
    const Saved s8 = save(image.get(), options(20, 0, 256));
    ASSERT_EQ(s8.status, 0);
    EXPECT_EQ(s8.bytes[54], 192);
    EXPECT_EQ(s8.bytes[55], 192);
    EXPECT_EQ(s8.bytes[56], 192);
    EXPECT_EQ(s8.bytes[57], 0);
    EXPECT_EQ(s8.bytes[58], 0);
    EXPECT_EQ(s8.bytes[59], 255);
    const Saved s4 = save(image.get(), options(30, 0, 256));
    ASSERT_EQ(s4.status, 0);
    EXPECT_EQ(le16(s4.bytes, 66), (12u << 8) | (12u << 4) | 12u);
    EXPECT_EQ(le16(s4.bytes, 68), 15u << 8);
}

TEST_F(Options, GreyAndAlphaLayoutsIgnoreTheSwitches) {
    auto image = image_from({{with_alpha(kWhite.kvz, 0.5f), with_alpha(kBlack.kvz, 0.0f)}});
    image->viewinfo[0] = 255;
    for (int16_t id : {50, 210, 200, 28, 211, 201}) {
        const Saved plain = save(image.get(), options(id));
        const Saved switched =
            save(image.get(), options(id, kMerge | kThreshold | kAlphaDither, 0, 0));
        ASSERT_EQ(plain.status, 0);
        EXPECT_EQ(plain.bytes, switched.bytes) << id;
    }
}

// ------------------------------------------------------------ palettes and merging

TEST_F(Options, IndexPaletteMergedWithTheBackground) {
    // With switch 0 the palette keeps alpha (mode 2) and its entries are
    // composited: transparent red becomes the blue background.
    auto image = image_from({{with_alpha(kRed.kvz, 0.0f), kWhite.kvz, kWhite.kvz}});
    image->viewinfo[2] = 255;
    const Saved s = save(image.get(), options(202, kMerge));
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bytes,
              bitmap(3, 1, 1, 0, {}, palette_of({0x0000ff, 0xffffff}), {0b01100000, 0, 0, 0}));
    EXPECT_EQ(image->palette[0].a, 0.0f) << "the palette kept the pixel's alpha";

    // Without it the palette is opaque and the entry is plain red.
    const Saved plain = save(image.get(), options(202));
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.bytes,
              bitmap(3, 1, 1, 0, {}, palette_of({0xff0000, 0xffffff}), {0b01100000, 0, 0, 0}));
    EXPECT_EQ(image->palette[0].a, 1.0f);
}

TEST_F(Options, IndexPaletteEntriesThroughTheThreshold) {
    auto image = image_from({{kHalfRed, kWhite.kvz}});
    image->viewinfo[2] = 255;
    // Merged at half alpha: (127, 0, 127).
    const Saved merged = save(image.get(), options(202, kMerge));
    ASSERT_EQ(merged.status, 0);
    EXPECT_EQ(merged.bytes,
              bitmap(2, 1, 1, 0, {}, palette_of({0x7f007f, 0xffffff}), {0b01000000, 0, 0, 0}));
    // Threshold 128: 127 is below, the entry is the background.
    const Saved below = save(image.get(), options(202, kMerge | kThreshold, 0, 128));
    EXPECT_EQ(below.bytes,
              bitmap(2, 1, 1, 0, {}, palette_of({0x0000ff, 0xffffff}), {0b01000000, 0, 0, 0}));
    // Threshold 127: opaque red.
    const Saved above = save(image.get(), options(202, kMerge | kThreshold, 0, 127));
    EXPECT_EQ(above.bytes,
              bitmap(2, 1, 1, 0, {}, palette_of({0xff0000, 0xffffff}), {0b01000000, 0, 0, 0}));
}

}  // namespace
