// Written icon files byte for byte: directory, entry, bitmap header, colour
// table, colour rows of every layout, padding and mask (dither off unless a
// test says otherwise).
#include "ico_fixture.h"

using namespace icotest;
using kottest::le16;
using kottest::le32;
using kottest::options;
using kottest::pixel_of;

namespace {

kvzatest::ImagePtr image_of_rows(const std::vector<std::vector<kottest::Rgba8>> &rows) {
    const int h = static_cast<int>(rows.size());
    const int w = static_cast<int>(rows[0].size());
    return kottest::image_of(w, h, [&](int x, int y) {
        return pixel_of(rows[static_cast<size_t>(y)][static_cast<size_t>(x)]);
    });
}

}  // namespace

TEST_F(Ico, Rgb24ThreeByTwo) {
    auto image = image_of_rows({{kRed, kGreen, kBlue}, {kWhite, kBlack, with_alpha(kYellow, 0)}});
    const Bytes file = save_ok(image.get(), options(224));
    IcoFile want;
    want.width = 3;
    want.height = 2;
    want.bpp = 24;
    want.colour = {{0xff0000, 0x00ff00, 0x0000ff}, {0xffffff, 0x000000, 0xffff00}};
    want.mask = {{0, 0, 0}, {0, 0, 1}};
    EXPECT_EQ(file, build_ico(want));
    // Rows of 9 pixel bytes and 3 padding bytes; mask rows of 4 bytes.
    EXPECT_EQ(file.size(), 22u + 40u + 24u + 8u);
    EXPECT_EQ(le32(file, 14), 72u);
    // Bottom row first: white, black, yellow as blue, green, red bytes.
    EXPECT_EQ(kottest::slice(file, 62, 12), (Bytes{255, 255, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0}));
    EXPECT_EQ(kottest::slice(file, 86, 8), (Bytes{0x20, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Ico, Rgb32TwoByTwoHasZeroTopByte) {
    auto image = image_of_rows({{kMagenta, kCyan}, {kBlack, with_alpha(kWhite, 0)}});
    const Bytes file = save_ok(image.get(), options(225));
    IcoFile want;
    want.width = 2;
    want.height = 2;
    want.bpp = 32;
    want.colour = {{0xff00ff, 0x00ffff}, {0x000000, 0xffffff}};
    want.mask = {{0, 0}, {0, 1}};
    EXPECT_EQ(file, build_ico(want));
    EXPECT_EQ(kottest::slice(file, 62, 8), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST_F(Ico, Rgb555FiveByTwo) {
    auto image = kottest::image_of(5, 2, [](int x, int y) {
        const kottest::Rgba8 row0[] = {kRed, kGreen, kBlue, kWhite, kBlack};
        const kottest::Rgba8 row1[] = {kYellow, kCyan, kMagenta, kBlack, kBlack};
        if (y == 1 && x == 4) return KvzaPixel{0, 0, 0, 1};  // mid grey: 0.5 on every channel
        return pixel_of(y == 0 ? row0[x] : row1[x]);
    });
    const Bytes file = save_ok(image.get(), options(223));
    IcoFile want;
    want.width = 5;
    want.height = 2;
    want.bpp = 16;
    // 5 bits a channel, red highest, top bit 0; 0.5 becomes 15 (8191 x 0.5 = 4095, >> 8).
    want.colour = {{0x7c00, 0x03e0, 0x001f, 0x7fff, 0x0000},
                   {0x7fe0, 0x03ff, 0x7c1f, 0x0000, 0x3def}};
    want.mask = {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}};
    EXPECT_EQ(file, build_ico(want));
    EXPECT_EQ(le32(file, 42), 24u) << "rows of 10 bytes padded to 12";
}

TEST_F(Ico, Index1TenByTwo) {
    // White where (x + y) is a multiple of 3, black elsewhere. The palette is
    // the distinct colours in order of first appearance: white, black.
    auto image = kottest::image_of(
        10, 2, [](int x, int y) { return pixel_of((x + y) % 3 == 0 ? kWhite : kBlack); });
    const Bytes file = save_ok(image.get(), options(204));
    IcoFile want;
    want.width = 10;
    want.height = 2;
    want.bpp = 1;
    want.colour_count = 2;
    want.palette = palette_bytes({0xffffff, 0x000000}, 0);
    want.colour.assign(2, std::vector<uint32_t>(10));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x) want.colour[y][x] = (x + y) % 3 == 0 ? 0 : 1;
    want.mask = fill_rows(10, 2, 0);
    EXPECT_EQ(file, build_ico(want));
    EXPECT_EQ(file[8], 2) << "colour count";
    EXPECT_EQ(kottest::slice(file, 62, 8), (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
    // Bottom row (y = 1): indices 1,1,0,1,1,0,1,1 | 0,1 -> 0xdb, then 01 and six zero bits.
    EXPECT_EQ(kottest::slice(file, 70, 4), (Bytes{0xdb, 0x40, 0, 0}));
}

TEST_F(Ico, Index4ThreeByTwoOddWidth) {
    auto image = image_of_rows({{kRed, kGreen, kBlue}, {kBlue, with_alpha(kYellow, 0), kRed}});
    const Bytes file = save_ok(image.get(), options(221));
    IcoFile want;
    want.width = 3;
    want.height = 2;
    want.bpp = 4;
    want.colour_count = 16;
    // Distinct colours in order of appearance; the transparent yellow counts
    // by its colour alone (alpha is ignored by the optimisation).
    want.palette = palette_bytes({0xff0000, 0x00ff00, 0x0000ff, 0xffff00}, 12);
    want.colour = {{0, 1, 2}, {2, 3, 0}};
    want.mask = {{0, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(file, build_ico(want));
    // Bottom row: pixels 0 and 1 in one byte, pixel 2 with a zero low nibble, two padding bytes.
    EXPECT_EQ(kottest::slice(file, 62 + 64, 4), (Bytes{0x23, 0x00, 0, 0}));
}

TEST_F(Ico, Index8TwoByTwo) {
    auto image = image_of_rows({{kCyan, kMagenta}, {kWhite, kCyan}});
    const Bytes file = save_ok(image.get(), options(222));
    IcoFile want;
    want.width = 2;
    want.height = 2;
    want.bpp = 8;
    want.colour_count = 0;
    want.palette = palette_bytes({0x00ffff, 0xff00ff, 0xffffff}, 253);
    want.colour = {{0, 1}, {2, 0}};
    want.mask = fill_rows(2, 2, 0);
    EXPECT_EQ(file, build_ico(want));
    EXPECT_EQ(file.size(), 22u + 40u + 1024u + 8u + 8u);
}

// The sizes the format's description gives as examples.
TEST_F(Ico, SixteenSquareIndex8Sizes) {
    auto image = kottest::image_of(16, 16, [](int, int) { return pixel_of(kBlue); });
    const Bytes file = save_ok(image.get(), options(222));
    EXPECT_EQ(le32(file, 42), 256u) << "XOR size";
    EXPECT_EQ(le32(file, 14), 1384u) << "bytes in resource";
    EXPECT_EQ(file.size(), 1406u);
    EXPECT_EQ(kottest::slice(file, 1406 - 64, 64), Bytes(64, 0)) << "AND mask of 64 bytes";
}

TEST_F(Ico, ThirtyTwoSquareRgb32Sizes) {
    auto image = kottest::image_of(32, 32, [](int, int) { return pixel_of(kGreen); });
    const Bytes file = save_ok(image.get(), options(225));
    EXPECT_EQ(le32(file, 42), 4096u);
    EXPECT_EQ(le32(file, 14), 4264u);
    EXPECT_EQ(file.size(), 4286u);
}

TEST_F(Ico, SixteenSquareIndex1Sizes) {
    auto image =
        kottest::image_of(16, 16, [](int x, int) { return pixel_of(x < 8 ? kRed : kCyan); });
    const Bytes file = save_ok(image.get(), options(204));
    EXPECT_EQ(file[8], 2);
    EXPECT_EQ(le32(file, 42), 64u);
    EXPECT_EQ(le32(file, 14), 176u);
    EXPECT_EQ(file.size(), 22u + 176u);
    EXPECT_EQ(kottest::slice(file, 62, 8), (Bytes{0, 0, 255, 0, 255, 255, 0, 0}));
}

// Every layout's header fields and sizes at widths that need padding.
TEST_F(Ico, HeaderFieldsOfEveryLayout) {
    struct Layout {
        int16_t id;
        uint16_t bpp;
        uint8_t colour_count;
        uint32_t entries;
    };
    const Layout layouts[] = {{204, 1, 2, 2},  {221, 4, 16, 16}, {222, 8, 0, 256},
                              {223, 16, 0, 0}, {224, 24, 0, 0},  {225, 32, 0, 0}};
    const int sizes[][2] = {{1, 1}, {13, 7}, {33, 2}, {255, 3}, {7, 255}};
    for (const Layout &l : layouts) {
        for (const auto &wh : sizes) {
            const int w = wh[0], h = wh[1];
            SCOPED_TRACE(::testing::Message() << "id " << l.id << ", " << w << " x " << h);
            auto image = kottest::image_of(
                w, h, [](int x, int y) { return pixel_of((x ^ y) & 1 ? kMagenta : kYellow); });
            const Bytes f = save_ok(image.get(), options(l.id));
            const uint32_t xor_size = static_cast<uint32_t>((l.bpp * w + 31) / 32 * 4 * h);
            const uint32_t and_size = static_cast<uint32_t>((w + 31) / 32 * 4 * h);
            const uint32_t resource = 40 + 4 * l.entries + xor_size + and_size;
            ASSERT_EQ(f.size(), 22u + resource);
            EXPECT_EQ(le16(f, 0), 0u);
            EXPECT_EQ(le16(f, 2), 1u);
            EXPECT_EQ(le16(f, 4), 1u);
            EXPECT_EQ(f[6], w);
            EXPECT_EQ(f[7], h);
            EXPECT_EQ(f[8], l.colour_count);
            EXPECT_EQ(f[9], 0);
            EXPECT_EQ(le16(f, 10), 1u);
            EXPECT_EQ(le16(f, 12), l.bpp);
            EXPECT_EQ(le32(f, 14), resource);
            EXPECT_EQ(le32(f, 18), 22u);
            EXPECT_EQ(le32(f, 22), 40u);
            EXPECT_EQ(le32(f, 26), static_cast<uint32_t>(w));
            EXPECT_EQ(le32(f, 30), static_cast<uint32_t>(2 * h));
            EXPECT_EQ(le16(f, 34), 1u);
            EXPECT_EQ(le16(f, 36), l.bpp);
            EXPECT_EQ(le32(f, 38), 0u);
            EXPECT_EQ(le32(f, 42), xor_size);
            EXPECT_EQ(kottest::slice(f, 46, 16), Bytes(16, 0));
            // Opaque pixels: the mask is all zero.
            EXPECT_EQ(kottest::slice(f, f.size() - and_size, and_size), Bytes(and_size, 0));
        }
    }
}

// Dither strength 256 at a channel value whose fraction below the 8-bit
// step is 95: the value 100 steps up to 101 where 95 is greater than the
// ordered-dither table's byte.
TEST_F(Ico, DitheredRgbFollowsTheOrderedTable) {
    const float v = (100.0f * 256.0f + 95.5f) / 65535.0f;
    auto image = kottest::image_of(9, 8, [v](int, int) { return KvzaPixel{0, 0, 2 * v - 1, 1}; });
    const Bytes file = save_ok(image.get(), options(224, 0, 256));
    const size_t row_bytes = 28;  // 27 pixel bytes, 1 padding byte
    for (int y = 0; y < 8; ++y) {
        const size_t row = 62 + static_cast<size_t>(7 - y) * row_bytes;
        for (int x = 0; x < 9; ++x) {
            const int want = 100 + (95 > kottest::kDitherBlock[y][x % 8] ? 1 : 0);
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(file[row + 3 * static_cast<size_t>(x) + static_cast<size_t>(k)], want)
                    << x << ", " << y;
        }
    }
    // Dither 0 writes 100 everywhere.
    const Bytes plain = save_ok(image.get(), options(224, 0, 0));
    EXPECT_EQ(plain[62], 100);
    EXPECT_EQ(plain[62 + 3 * 8], 100);
}
