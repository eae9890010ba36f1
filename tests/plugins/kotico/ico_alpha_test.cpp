// Transparency: the AND mask from the alpha threshold or from alpha reduced
// to one bit (with and without dither), and "Merge to background" with its
// all-opaque mask.
#include "ico_fixture.h"

using namespace icotest;
using kottest::kAlphaDither;
using kottest::kMerge;
using kottest::kThreshold;
using kottest::options;
using kottest::pixel_of;

namespace {

// A row of red pixels with the given alphas.
kvzatest::ImagePtr red_row(const std::vector<float> &alphas) {
    return kottest::image_of(static_cast<int>(alphas.size()), 1, [&](int x, int) {
        return pixel_of(with_alpha(kRed, alphas[static_cast<size_t>(x)]));
    });
}

// The mask of a saved icon (its last AND-size bytes).
Bytes mask_of(const Bytes &file, int width, int height) {
    const size_t size = static_cast<size_t>((width + 31) / 32 * 4 * height);
    return file.size() < size ? Bytes{} : kottest::slice(file, file.size() - size, size);
}

// Mask bytes of rows given top row first (1 = transparent).
Bytes mask_bytes(const Rows &rows) {
    return kintest::pack_rows(1, bottom_up(rows));
}

}  // namespace

TEST_F(Ico, ThresholdMaskCompares255ScaleWithTrack1) {
    // 0.5 is 127 on the 0..255 scale and so below 128; 0.51 is 130.
    auto image = red_row({0.5f, 0.51f, 0.0f, 1.0f, 0.25f, 0.75f});
    const Bytes file = save_ok(image.get(), options(224, kThreshold, 0, 128));
    EXPECT_EQ(mask_of(file, 6, 1), mask_bytes({{1, 0, 1, 0, 1, 0}}));
    EXPECT_EQ(mask_of(file, 6, 1)[0], 0xa8);
}

TEST_F(Ico, ThresholdZeroAndTwoHundredFiftySix) {
    auto image = red_row({0.0f, 0.001f, 0.5f, 1.0f, 1.5f, -0.2f});
    // Threshold 0: nothing is below it but a negative alpha (not clipped).
    EXPECT_EQ(mask_of(save_ok(image.get(), options(224, kThreshold, 0, 0)), 6, 1),
              mask_bytes({{0, 0, 0, 0, 0, 1}}));
    // Threshold 256: even alpha 1.0 (255) is below it; 1.5 (382) is not.
    EXPECT_EQ(mask_of(save_ok(image.get(), options(224, kThreshold, 0, 256)), 6, 1),
              mask_bytes({{1, 1, 1, 1, 0, 1}}));
}

TEST_F(Ico, OneBitAlphaWithoutDither) {
    // 511 x 0.5 = 255.5 gives 255 >> 8 = 0: transparent; 0.502 gives 256 >> 8 = 1.
    auto image = red_row({0.5f, 0.502f, 0.0f, 1.0f, 0.25f, 0.9f, 2.0f});
    const Bytes file = save_ok(image.get(), options(224, 0, 0, 128));
    EXPECT_EQ(mask_of(file, 7, 1), mask_bytes({{1, 0, 1, 0, 1, 0, 0}}));
}

TEST_F(Ico, OneBitAlphaWithDitherFollowsTheOrderedTable) {
    // 511 x 0.25 = 127.75: integer part 0 and fraction 127, so a pixel stays
    // visible where 127 is greater than the table byte.
    auto image =
        kottest::image_of(16, 9, [](int, int) { return pixel_of(with_alpha(kBlue, 0.25f)); });
    Rows want(9, std::vector<uint32_t>(16));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) want[y][x] = 127 > kottest::kDitherBlock[y % 8][x % 8] ? 0 : 1;
    EXPECT_EQ(mask_of(save_ok(image.get(), options(222, 0, 256)), 16, 9), mask_bytes(want));

    // Strength 16 coarsens the fraction: 127 x 16 / 256 = 7 steps, 7 x 256 / 16 = 112.
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) want[y][x] = 112 > kottest::kDitherBlock[y % 8][x % 8] ? 0 : 1;
    EXPECT_EQ(mask_of(save_ok(image.get(), options(222, 0, 16)), 16, 9), mask_bytes(want));
}

TEST_F(Ico, AlphaDitheringSwitchDoesNotReachTheMask) {
    auto image = kottest::image_of(12, 8, [](int x, int y) {
        return pixel_of(with_alpha(kGreen, static_cast<float>(x + 12 * y) / 95.0f));
    });
    EXPECT_EQ(save_ok(image.get(), options(223, kThreshold | kAlphaDither, 256, 100)),
              save_ok(image.get(), options(223, kThreshold, 256, 100)));
    EXPECT_EQ(save_ok(image.get(), options(223, kAlphaDither, 256)),
              save_ok(image.get(), options(223, 0, 256)));
    // The threshold ignores the dither strength.
    EXPECT_EQ(mask_of(save_ok(image.get(), options(223, kThreshold, 0, 100)), 12, 8),
              mask_of(save_ok(image.get(), options(223, kThreshold, 256, 100)), 12, 8));
}

TEST_F(Ico, MaskBitsAfterTheLastPixelAreZero) {
    auto image = kottest::image_of(9, 2, [](int, int) { return pixel_of(with_alpha(kRed, 0)); });
    const Bytes mask = mask_of(save_ok(image.get(), options(224)), 9, 2);
    EXPECT_EQ(mask, (Bytes{0xff, 0x80, 0, 0, 0xff, 0x80, 0, 0}));
}

TEST_F(Ico, MergeMakesTheMaskAllOpaque) {
    auto image = kottest::image_of(33, 3, [](int x, int) {
        return pixel_of(with_alpha(kRed, static_cast<float>(x % 3) * 0.5f));
    });
    for (uint16_t sw : {kMerge, uint16_t(kMerge | kThreshold), uint16_t(kMerge | kAlphaDither)}) {
        for (int16_t id : {204, 221, 222, 223, 224, 225}) {
            const Bytes file = save_ok(image.get(), options(id, sw, 128, 128));
            SCOPED_TRACE(::testing::Message() << "id " << id << " switches " << sw);
            EXPECT_EQ(mask_of(file, 33, 3), Bytes(24, 0)) << "two groups of 32 pixels a row";
        }
    }
}

TEST_F(Ico, MergeCompositesRgbOverTheBackground) {
    // Red at alpha 0, 1, 0.5 and 0.6 over a blue background.
    auto image = red_row({0.0f, 1.0f, 0.5f, 0.6f});
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    // Blended: 0.5 x red + 0.5 x blue = (0.5, 0, 0.5) -> 127, 0, 127; alpha 0.6 gives
    // (0.6, 0, 0.4): 65535 x 0.6 = 39321 -> 153 and 65535 x 0.4 = 26213.99 -> 102.
    const Bytes blended = save_ok(image.get(), options(224, kMerge));
    EXPECT_EQ(kottest::slice(blended, 62, 12),
              (Bytes{255, 0, 0, 0, 0, 255, 127, 0, 127, 102, 0, 153}));
    // With the threshold each alpha becomes 0 or 1 first: 127 < 128 is transparent.
    const Bytes cut = save_ok(image.get(), options(224, kMerge | kThreshold, 0, 128));
    EXPECT_EQ(kottest::slice(cut, 62, 12), (Bytes{255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255}));
    // Without the merge the colour is written as it is, alpha left to the mask.
    const Bytes plain = save_ok(image.get(), options(224, 0));
    EXPECT_EQ(kottest::slice(plain, 62, 12), (Bytes{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255}));
    EXPECT_EQ(mask_of(plain, 4, 1), mask_bytes({{1, 0, 1, 0}}));
}

TEST_F(Ico, MergeLeavesOptimisedEntriesOpaque) {
    // The palette is optimised ignoring alpha, so its entries are opaque and
    // the merge leaves them as they are (a transparent red stays red); the
    // slots the optimisation does not fill keep alpha 0 and become the
    // background colour.
    auto image = kottest::image_of(
        2, 1, [](int x, int) { return pixel_of(x == 0 ? with_alpha(kRed, 0) : kWhite); });
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    const Bytes file = save_ok(image.get(), options(221, kMerge));
    std::vector<uint32_t> entries = {0xff0000, 0xffffff};
    for (int i = 0; i < 14; ++i) entries.push_back(0x0000ff);
    EXPECT_EQ(kottest::slice(file, 62, 64), kintest::colour_table(entries, 4));
    EXPECT_EQ(kottest::slice(file, 126, 4), (Bytes{0x01, 0, 0, 0}));
    EXPECT_EQ(mask_of(file, 2, 1), Bytes(4, 0));
}
