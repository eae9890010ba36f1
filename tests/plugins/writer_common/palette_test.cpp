// File palettes: the grey ramp and the optimised palette.
#include <gtest/gtest.h>

#include "wc_test_util.h"
#include "writer_common.h"

using kvzatest::at;
using kvzatest::make_image;
using wctest::grey;
using wctest::options;
using Bytes = std::vector<uint8_t>;

TEST(GreyRamp, SixteenEntriesStepBy17) {
    Bytes out(64, 0xaa);
    kot::build_grey_ramp(16, out.data());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(out[4 * i], 17 * i);
        EXPECT_EQ(out[4 * i + 1], 17 * i);
        EXPECT_EQ(out[4 * i + 2], 17 * i);
        EXPECT_EQ(out[4 * i + 3], 0);
    }
}

TEST(GreyRamp, TwoAnd256Entries) {
    Bytes two(8, 0xaa);
    kot::build_grey_ramp(2, two.data());
    EXPECT_EQ(two, (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
    Bytes full(1024, 0xaa);
    kot::build_grey_ramp(256, full.data());
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(full[4 * i], i);
        EXPECT_EQ(full[4 * i + 2], i);
        EXPECT_EQ(full[4 * i + 3], 0);
    }
}

TEST(GreyRamp, WritesExactlyFourBytesPerEntry) {
    Bytes out(12, 0xaa);
    kot::build_grey_ramp(2, out.data());
    for (int i = 8; i < 12; ++i) EXPECT_EQ(out[i], 0xaa);
}

TEST(OptimisedPalette, DistinctColoursInOrderOfAppearance) {
    auto image = make_image(3, 1);
    at(image.get(), 0, 0) = grey(1.0f);
    at(image.get(), 1, 0) = grey(-1.0f);
    at(image.get(), 2, 0) = grey(1.0f);
    const KotSaveOptions o = options(202, 0, 128);
    Bytes out(8, 0xaa);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &o, 0, 2, out.data()), KOT_OK);
    EXPECT_EQ(out, (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
    // The image's palette was rebuilt as a side effect.
    EXPECT_EQ(image->palette[0].w, 1.0f);
    EXPECT_EQ(image->palette[1].w, -1.0f);
}

TEST(OptimisedPalette, EntriesBeyondTheColoursKeepTheirOldValue) {
    // Two colours, sixteen entries: entries 2..15 stay zero, which is mid grey
    // (0.5 x 255 = 127.5, truncated to 127).
    auto image = make_image(2, 1);
    at(image.get(), 0, 0) = grey(-1.0f);
    at(image.get(), 1, 0) = grey(1.0f);
    const KotSaveOptions o = options(212, 0, 128);
    Bytes out(64, 0xaa);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &o, 0, 16, out.data()), KOT_OK);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], 255);
    for (int i = 2; i < 16; ++i) {
        EXPECT_EQ(out[4 * i], 127) << i;
        EXPECT_EQ(out[4 * i + 1], 127) << i;
        EXPECT_EQ(out[4 * i + 2], 127) << i;
        EXPECT_EQ(out[4 * i + 3], 0) << i;
    }
}

TEST(OptimisedPalette, MergeUsesEntryAlphaAndTheBackground) {
    // Mode 2 keeps the alpha of the distinct colours.
    auto image = make_image(2, 1);
    at(image.get(), 0, 0) = grey(1.0f, 0.0f);
    at(image.get(), 1, 0) = grey(1.0f, 0.6f);
    image->viewinfo[0] = 255;
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    Bytes out(8);
    const KotSaveOptions merge = options(202, 0x1, 0, 128);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &merge, 2, 2, out.data()), KOT_OK);
    // 0.6 of white over magenta: green 0.6 x 255 = 153.
    EXPECT_EQ(out, (Bytes{255, 0, 255, 0, 255, 153, 255, 0}));

    const KotSaveOptions cut = options(202, 0x3, 0, 128);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &cut, 2, 2, out.data()), KOT_OK);
    EXPECT_EQ(out, (Bytes{255, 0, 255, 0, 255, 255, 255, 0}));

    // Palette entries have no position: alpha dithering changes nothing.
    const KotSaveOptions cut_dither = options(202, 0x7, 256, 128);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &cut_dither, 2, 2, out.data()), KOT_OK);
    EXPECT_EQ(out, (Bytes{255, 0, 255, 0, 255, 255, 255, 0}));

    // Without merge the entries are the colours themselves.
    const KotSaveOptions plain = options(202, 0x6, 0, 128);
    ASSERT_EQ(kot::build_optimised_palette(image.get(), &plain, 2, 2, out.data()), KOT_OK);
    EXPECT_EQ(out, (Bytes{255, 255, 255, 0, 255, 255, 255, 0}));
}

TEST(OptimisedPalette, RefusesBadArguments) {
    auto image = make_image(1, 1);
    const KotSaveOptions o = options(41, 0, 0);
    Bytes out(4 * 257, 0xaa);
    EXPECT_EQ(kot::build_optimised_palette(image.get(), &o, 0, 0, out.data()), KOT_FAILED);
    EXPECT_EQ(kot::build_optimised_palette(image.get(), &o, 0, 257, out.data()), KOT_FAILED);
    EXPECT_EQ(kot::build_optimised_palette(nullptr, &o, 0, 2, out.data()), KOT_FAILED);
    EXPECT_EQ(kot::build_optimised_palette(image.get(), nullptr, 0, 2, out.data()), KOT_FAILED);
    EXPECT_EQ(kot::build_optimised_palette(image.get(), &o, 0, 2, nullptr), KOT_FAILED);
    for (uint8_t b : out) EXPECT_EQ(b, 0xaa);
}
