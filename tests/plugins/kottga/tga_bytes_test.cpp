// Written TGA files byte for byte: header fields, colour maps of the three
// entry sizes, pixel values of every layout, row order and the footer
// (dither off unless a test says otherwise).
#include "tga_fixture.h"

using namespace tgatest;
using kottest::le16;
using kottest::pixel_of;

namespace {

kvzatest::ImagePtr image_of_rows(const std::vector<std::vector<kottest::Rgba8>> &rows) {
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(rows[0].size());
    return kottest::image_of(w, h, [&](int x, int y) {
        return pixel_of(rows[static_cast<size_t>(y)][static_cast<size_t>(x)]);
    });
}

KvzaPixel grey(float w, float a = 1.0f) {
    return KvzaPixel{0, 0, w, a};
}

// Colour-map entries of mid grey (RGBA 0.5, 0.5, 0.5, 0): the palette slots
// the optimisation leaves alone keep the zero KVZA colour of a new image.
void add_filler(Bytes &map, int count, const Bytes &entry) {
    for (int i = 0; i < count; ++i) kintest::append(map, entry);
}

}  // namespace

TEST_F(Tga, OnePixelRgb24Is47Bytes) {
    auto image = image_of_rows({{kRed}});
    const Bytes file = save_ok(image.get(), tga_options(20));
    Bytes want = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 0, 0, 255};
    kintest::append(want, footer());
    EXPECT_EQ(file, want);
    EXPECT_EQ(file.size(), 47u);
}

TEST_F(Tga, Rgb24BottomRowFirstWithoutPadding) {
    auto image = image_of_rows({{kRed, kGreen, kBlue}, {kWhite, kBlack, with_alpha(kYellow, 0)}});
    TgaFile want;
    want.width = 3;
    want.height = 2;
    want.depth = 24;
    // Alpha is dropped: the transparent yellow is written as yellow.
    want.pixels = {{0xff0000, 0x00ff00, 0x0000ff}, {0xffffff, 0x000000, 0xffff00}};
    const Bytes file = save_ok(image.get(), tga_options(20));
    EXPECT_EQ(file, build_tga(want));
    EXPECT_EQ(kottest::slice(file, 18, 9), (Bytes{255, 255, 255, 0, 0, 0, 0, 255, 255}));
}

TEST_F(Tga, Rgba32KeepsAlpha) {
    auto image = image_of_rows(
        {{kRed, with_alpha(kGreen, 0)}, {with_alpha(kBlue, 0.5f), with_alpha(kWhite, 0.25f)}});
    TgaFile want;
    want.width = 2;
    want.height = 2;
    want.depth = 32;
    want.descriptor = 8;
    // 65535 x 0.5 = 32767 -> 127; 65535 x 0.25 = 16383 -> 63.
    want.pixels = {{0xffff0000, 0x0000ff00}, {0x7f0000ff, 0x3fffffff}};
    EXPECT_EQ(save_ok(image.get(), tga_options(21)), build_tga(want));
}

TEST_F(Tga, Rgb15WithAlphaBit) {
    auto image = kottest::image_of(6, 1, [](int x, int) {
        const KvzaPixel p[] = {pixel_of(kWhite),
                               pixel_of(with_alpha(kWhite, 0)),
                               pixel_of(with_alpha(kRed, 0.5f)),
                               pixel_of(with_alpha(kRed, 0.51f)),
                               grey(0.0f),
                               pixel_of(kBlack)};
        return p[x];
    });
    TgaFile want;
    want.width = 6;
    want.height = 1;
    want.depth = 16;
    want.descriptor = 1;
    // Alpha to one bit: 511 x 0.5 = 255 >> 8 = 0, 511 x 0.51 = 260 >> 8 = 1;
    // grey 0.5 to five bits: 8191 x 0.5 = 4095 >> 8 = 15.
    want.pixels = {{0xffff, 0x7fff, 0x7c00, 0xfc00, 0xbdef, 0x8000}};
    EXPECT_EQ(save_ok(image.get(), tga_options(25)), build_tga(want));
}

TEST_F(Tga, Index8WithFourByteEntries) {
    // Alpha counts in the optimisation: red at alpha 1 and at 0.5 are two entries.
    auto image = image_of_rows({{kRed, with_alpha(kBlue, 0)}, {with_alpha(kRed, 0.5f), kRed}});
    const Bytes file = save_ok(image.get(), tga_options(41, 0, 4));
    TgaFile want;
    want.type = 1;
    want.map_type = 1;
    want.map_length = 256;
    want.entry_bits = 32;
    want.width = 2;
    want.height = 2;
    want.depth = 8;
    want.descriptor = 8;
    want.map = {0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 127};
    add_filler(want.map, 253, {127, 127, 127, 0});
    want.pixels = {{0, 1}, {2, 0}};
    EXPECT_EQ(file, build_tga(want));
    EXPECT_EQ(file.size(), 18u + 1024u + 4u + 26u);
    EXPECT_EQ(file[7], 32);
    EXPECT_EQ(file[17], 8);
}

TEST_F(Tga, Index8WithThreeByteEntries) {
    // Alpha is ignored: the two reds are one entry.
    auto image = image_of_rows({{kRed, with_alpha(kBlue, 0)}, {with_alpha(kRed, 0.5f), kRed}});
    TgaFile want;
    want.type = 1;
    want.map_type = 1;
    want.map_length = 256;
    want.entry_bits = 24;
    want.width = 2;
    want.height = 2;
    want.depth = 8;
    want.descriptor = 0;
    want.map = {0, 0, 255, 255, 0, 0};
    add_filler(want.map, 254, {127, 127, 127});
    want.pixels = {{0, 1}, {0, 0}};
    EXPECT_EQ(save_ok(image.get(), tga_options(41, 0, 3)), build_tga(want));
}

TEST_F(Tga, Index8WithTwoByteEntries) {
    // Two-valued alpha; entry words A x 2^15 + R x 2^10 + G x 2^5 + B with
    // channels x 31 truncated. Entry 5 lies beyond the image's colours and
    // keeps the palette's old content: an alpha of 0.99 is written as 0.
    auto image = image_of_rows({{kRed, with_alpha(kBlue, 0)}, {kGreen, kRed}});
    image->palette[5] = pixel_of(with_alpha(kRed, 0.99f));
    TgaFile want;
    want.type = 1;
    want.map_type = 1;
    want.map_length = 256;
    want.entry_bits = 16;
    want.width = 2;
    want.height = 2;
    want.depth = 8;
    want.descriptor = 1;
    for (uint32_t word : {0xfc00u, 0x001fu, 0x83e0u}) kottest::put16(want.map, word);
    add_filler(want.map, 2, {0xef, 0x3d});  // 0.5 x 31 = 15 on each channel, alpha 0
    kottest::put16(want.map, 0x7c00);
    add_filler(want.map, 250, {0xef, 0x3d});
    want.pixels = {{0, 1}, {2, 0}};
    EXPECT_EQ(save_ok(image.get(), tga_options(41, 0, 2)), build_tga(want));
}

TEST_F(Tga, Grey8FromWhiteness) {
    auto image = kottest::image_of(7, 1, [](int x, int) {
        const KvzaPixel p[] = {grey(1.2f), grey(-1.0f), grey(0.0f),        grey(-1.5f),
                               grey(1.0f), grey(0.5f),  pixel_of(kMagenta)};
        return p[x];
    });
    TgaFile want;
    want.type = 3;
    want.width = 7;
    want.height = 1;
    want.depth = 8;
    // 0.75 x 65535 = 49151 -> 191; magenta has whiteness 0 like mid grey.
    want.pixels = {{255, 0, 127, 0, 255, 191, 127}};
    EXPECT_EQ(save_ok(image.get(), tga_options(50)), build_tga(want));
}

TEST_F(Tga, Grey16FromWhiteness) {
    auto image = kottest::image_of(3, 2, [](int x, int y) {
        const KvzaPixel p[2][3] = {{grey(1.0f), grey(-1.0f), grey(0.0f, 0.0f)},
                                   {grey(1.5f), grey(-2.0f), grey(0.5f)}};
        return p[y][x];
    });
    TgaFile want;
    want.type = 3;
    want.width = 3;
    want.height = 2;
    want.depth = 16;
    // 0.5 x 16777215 = 8388607 -> 32767; 0.75 x 16777215 = 12582911 -> 49151.
    want.pixels = {{0xffff, 0x0000, 0x7fff}, {0xffff, 0x0000, 0xbfff}};
    EXPECT_EQ(save_ok(image.get(), tga_options(81)), build_tga(want));
}

TEST_F(Tga, EveryCompleteFileEndsWithTheFooter) {
    auto image = kottest::image_of(5, 3, [](int x, int y) {
        return pixel_of(with_alpha((x + y) % 2 ? kCyan : kMagenta, x % 2 ? 1.0f : 0.3f));
    });
    struct Case {
        int16_t id;
        int16_t depth;
        size_t size;
    };
    const Case cases[] = {{20, 4, 18 + 45 + 26},       {21, 4, 18 + 60 + 26},
                          {25, 4, 18 + 30 + 26},       {41, 2, 18 + 512 + 15 + 26},
                          {41, 3, 18 + 768 + 15 + 26}, {41, 4, 18 + 1024 + 15 + 26},
                          {50, 4, 18 + 15 + 26},       {81, 4, 18 + 30 + 26}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " depth " << c.depth);
        const Bytes file = save_ok(image.get(), tga_options(c.id, 128, c.depth));
        ASSERT_EQ(file.size(), c.size);
        EXPECT_EQ(kottest::slice(file, file.size() - 26, 26), footer());
        EXPECT_EQ(le16(file, 12), 5u);
        EXPECT_EQ(le16(file, 14), 3u);
        EXPECT_EQ(le16(file, 8), 0u);
        EXPECT_EQ(le16(file, 10), 0u);
        EXPECT_EQ(file[0], 0) << "no image ID";
        EXPECT_EQ(file[17] & 0x30, 0) << "bottom-left origin";
    }
}

TEST_F(Tga, WidestImageFillsTheSixteenBitField) {
    auto image = kottest::image_of(65535, 1, [](int x, int) { return grey(x % 2 ? 1.0f : -1.0f); });
    const Bytes file = save_ok(image.get(), tga_options(50));
    ASSERT_EQ(file.size(), 18u + 65535u + 26u);
    EXPECT_EQ(le16(file, 12), 65535u);
    EXPECT_EQ(le16(file, 14), 1u);
    EXPECT_EQ(file[18], 0);
    EXPECT_EQ(file[19], 255);
    EXPECT_EQ(file[18 + 65534], 0);
}

// Dither strength 256 at a value whose fraction below the 8-bit step is 95:
// 100 steps up to 101 where 95 is greater than the ordered-dither table's
// byte; strength 16 compares 80 (95 x 16 / 256 = 5 steps of 16) instead.
TEST_F(Tga, DitheredGreyFollowsTheOrderedTable) {
    const float v = (100.0f * 256.0f + 95.5f) / 65535.0f;
    auto image = kottest::image_of(10, 9, [v](int, int) { return grey(2 * v - 1); });
    for (int level : {256, 16}) {
        SCOPED_TRACE(level);
        const int t = level == 256 ? 95 : 80;
        const Bytes file = save_ok(image.get(), tga_options(50, static_cast<int16_t>(level)));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 10; ++x) {
                const size_t at = 18 + static_cast<size_t>((8 - y) * 10 + x);
                ASSERT_EQ(file[at], 100 + (t > kottest::kDitherBlock[y % 8][x % 8] ? 1 : 0))
                    << x << ", " << y;
            }
    }
    const Bytes plain = save_ok(image.get(), tga_options(50, 0));
    EXPECT_EQ(kottest::slice(plain, 18, 90), Bytes(90, 100));
}

TEST_F(Tga, DitheredAlphaBitFollowsTheOrderedTable) {
    // Alpha 0.25 on one bit: 511 x 0.25 = 127.75, fraction 127.
    auto image =
        kottest::image_of(8, 8, [](int, int) { return pixel_of(with_alpha(kBlack, 0.25f)); });
    const Bytes file = save_ok(image.get(), tga_options(25, 256));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t want = 127 > kottest::kDitherBlock[y][x] ? 0x8000u : 0u;
            ASSERT_EQ(le16(file, 18 + 2 * static_cast<size_t>((7 - y) * 8 + x)), want)
                << x << ", " << y;
        }
}
