// The first image of icon files: directory checks, the image header, the
// colour bitmap and the 1-bit transparency mask.
#include "bmp_fixture.h"

using namespace kintest;

namespace {

// A 32 x 32 icon at 4 bits per pixel with a mask (header height 64): pixel
// (x, y) of the image has index (x + y) % 16, and the mask bit is set where
// x is a multiple of 3.
IcoSpec icon32x32(int count = 1) {
    IcoSpec s;
    s.count = static_cast<uint16_t>(count);
    s.entry_width = 32;
    s.entry_height = 32;
    s.bpp = 4;
    s.header_width = 32;
    s.header_height = 64;
    std::vector<uint32_t> table(16);
    for (uint32_t i = 0; i < 16; ++i) table[i] = (i * 16) << 16 | (255 - i * 16);
    s.table = colour_table(table, 4);
    std::vector<std::vector<uint32_t>> colour, mask;
    for (int i = 0; i < 32; ++i) {  // stored bottom row first
        const int y = 31 - i;
        std::vector<uint32_t> crow, mrow;
        for (int x = 0; x < 32; ++x) {
            crow.push_back((x + y) % 16);
            mrow.push_back(x % 3 == 0 ? 1 : 0);
        }
        colour.push_back(crow);
        mask.push_back(mrow);
    }
    s.rows = pack_rows(4, colour);
    s.mask = pack_rows(1, mask);
    return s;
}

KvzaPixel table_colour(int i, float alpha) {
    return kvz8(i * 16, 0, 255 - i * 16, alpha);
}

}  // namespace

TEST_F(Bmp, Icon32x32FourBitWithMask) {
    const Bytes file = build_ico(icon32x32());
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    const Opened o = open(reader(), f.path());
    ASSERT_EQ(o.pixels, 1024);
    EXPECT_EQ(o.width, 32);
    EXPECT_EQ(o.height, 32);
    ASSERT_EQ(o.status, 0);
    for (int i = 0; i < 16; ++i) EXPECT_PIXEL(o.image->palette[i], table_colour(i, 1.0f));
    EXPECT_TRUE(is_clear(o.image->palette[16]));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_TRUE(same_pixel(pix(o.image, x, y),
                                   table_colour((x + y) % 16, x % 3 == 0 ? 0.0f : 1.0f)))
                << x << ", " << y;
    EXPECT_EQ(o.image->pixtype, 0) << "the icon path stores no pixel type";
}

TEST_F(Bmp, IconWithThreeImagesReportsThreeAndLoadsTheFirst) {
    IcoSpec s = icon32x32(3);
    const Bytes file = build_ico(s);
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 3);
    const Opened o = open(reader(), f.path());
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 1, 2), table_colour(3, 1.0f));
}

TEST_F(Bmp, IconEntryWidthZeroCountsNoPixels) {
    IcoSpec s = icon32x32();
    s.entry_width = 0;
    TempFile f(build_ico(s));
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
}

TEST_F(Bmp, IconTypeMattersOnlyToImgs) {
    IcoSpec s = icon32x32();
    s.type = 2;
    TempFile f(build_ico(s));
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    const Opened o = open(reader(), f.path());
    EXPECT_EQ(o.pixels, 1024);
    EXPECT_EQ(o.status, 0);
}

TEST_F(Bmp, IconPixsDoesNotExamineTheImageHeader) {
    IcoSpec s = icon32x32();
    s.header_size = 41;
    TempFile f(build_ico(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 1024);
    kvzatest::ImagePtr image = kvzatest::make_image(32, 32);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, IconDirectoryLargerThanTheFileIsRefused) {
    Bytes file = build_ico(icon32x32());
    // Claim more entries than the file has bytes for.
    const uint32_t count = static_cast<uint32_t>((file.size() - 6) / 16 + 1);
    file[4] = static_cast<uint8_t>(count);
    file[5] = static_cast<uint8_t>(count >> 8);
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    kvzatest::ImagePtr image = kvzatest::make_image(32, 32);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, IconEntryPastTheEndOfTheFileIsRefused) {
    const uint32_t real = static_cast<uint32_t>(build_ico(icon32x32()).size()) - 22;
    struct Case {
        uint32_t position, bytes;
    } cases[] = {
        {22, real + 1},              // one byte too many
        {23, real},                  // shifted by one
        {0xFFFFFFF0U, 0x20},         // the sum overflows 32 bits
        {22, 0xFFFFFFFFU},           // absurd length
        {0xFFFFFFFFU, 0xFFFFFFFFU},  // both
    };
    for (const Case &c : cases) {
        IcoSpec s = icon32x32();
        s.position = c.position;
        s.bytes = c.bytes;
        TempFile f(build_ico(s));
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << c.position << "+" << c.bytes;
        kvzatest::ImagePtr image = kvzatest::make_image(32, 32);
        EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
    }
    IcoSpec s = icon32x32();
    s.bytes = real;  // exactly to the end
    EXPECT_EQ(open(reader(), build_ico(s)).status, 0);
}

TEST_F(Bmp, IconHeaderMustAgreeWithTheEntry) {
    struct Case {
        uint32_t header_size;
        int32_t width, height;
        uint16_t bpp;
    } cases[] = {
        {12, 32, 64, 4}, {108, 32, 64, 4}, {40, 31, 64, 4}, {40, 64, 64, 4}, {40, 32, 63, 4},
        {40, 32, 96, 4}, {40, 32, 16, 4},  {40, 32, 64, 2}, {40, 32, 64, 0}, {40, 32, INT32_MIN, 4},
    };
    for (const Case &c : cases) {
        IcoSpec s = icon32x32();
        s.header_size = c.header_size;
        s.header_width = c.width;
        s.header_height = c.height;
        s.bpp = c.bpp;
        const Opened o = open(reader(), build_ico(s));
        EXPECT_EQ(o.status, 1) << c.header_size << " " << c.width << "x" << c.height << " "
                               << c.bpp;
    }
}

TEST_F(Bmp, IconHeightEqualToTheEntryMeansNoMask) {
    IcoSpec s = icon32x32();
    s.header_height = 32;
    s.mask.clear();
    const Opened o = open(reader(), build_ico(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), table_colour(0, 1.0f));
    EXPECT_PIXEL(pix(o.image, 3, 0), table_colour(3, 1.0f));
}

TEST_F(Bmp, IconNegativeHeaderHeightIsTopRowFirstForColourAndMask) {
    IcoSpec s;
    s.entry_width = 2;
    s.entry_height = 2;
    s.bpp = 24;
    s.header_width = 2;
    s.header_height = -4;
    s.rows = pack_rows(24, {{0x110000, 0x220000}, {0x330000, 0x440000}});
    s.mask = pack_rows(1, {{1, 0}, {0, 0}});
    const Opened o = open(reader(), build_ico(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(0x11, 0, 0, 0.0f));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(0x22, 0, 0));
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(0x33, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 1), rgb8(0x44, 0, 0));
}

TEST_F(Bmp, IconThirtyTwoBitTakesNoAlphaFromTheFourthByte) {
    IcoSpec s;
    s.entry_width = 2;
    s.entry_height = 1;
    s.bpp = 32;
    s.header_width = 2;
    s.header_height = 2;
    s.rows = pack_rows(32, {{0x00102030, 0xFF405060}});
    s.mask = pack_rows(1, {{0, 1}});
    const Opened o = open(reader(), build_ico(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(0x10, 0x20, 0x30, 1.0f));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(0x40, 0x50, 0x60, 0.0f));
}

TEST_F(Bmp, IconSixteenBitUsesTheFixed555Masks) {
    IcoSpec s;
    s.entry_width = 1;
    s.entry_height = 1;
    s.bpp = 16;
    s.header_width = 1;
    s.header_height = 1;
    s.rows = pack_rows(16, {{(31U << 5) | 31U}});
    const Opened o = open(reader(), build_ico(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(0.0f, 1.0f, 1.0f));
}

TEST_F(Bmp, IconCompressionFieldIsNotExamined) {
    Bytes file = build_ico(icon32x32());
    file[22 + 16] = 1;  // compression: run-length 8
    EXPECT_EQ(open(reader(), file).status, 0);
}

TEST_F(Bmp, IconMaskThatStopsEarlyFailsAfterTheColourBitmap) {
    IcoSpec s = icon32x32();
    s.mask.resize(s.mask.size() - 4);  // the last stored mask row is missing
    const Opened o = open(reader(), build_ico(s));
    ASSERT_EQ(o.pixels, 1024);
    EXPECT_EQ(o.status, 1);
    // Colours were decoded everywhere; the mask reached every row but the top one.
    EXPECT_PIXEL(pix(o.image, 1, 0), table_colour(1, 1.0f));
    EXPECT_PIXEL(pix(o.image, 0, 0), table_colour(0, 1.0f));
    EXPECT_PIXEL(pix(o.image, 0, 1), table_colour(1, 0.0f));
}

TEST_F(Bmp, IconColourBitmapThatStopsEarlyFails) {
    IcoSpec s = icon32x32();
    s.mask.clear();
    s.rows.resize(s.rows.size() - 1);
    EXPECT_EQ(open(reader(), build_ico(s)).status, 1);
}

TEST_F(Bmp, IconResourceShorterThanItsHeaderFails) {
    IcoSpec s = icon32x32();
    s.bytes = 39;
    EXPECT_EQ(open(reader(), build_ico(s)).status, 1);
}

TEST_F(Bmp, IconEightBitTableMustFitTheResource) {
    IcoSpec s;
    s.entry_width = 1;
    s.entry_height = 1;
    s.bpp = 8;
    s.header_width = 1;
    s.header_height = 1;
    s.table = Bytes(1020, 0);  // one entry short; the pixel row fills it up
    s.rows = {0, 0, 0, 0};
    // The table takes the row's 4 bytes, nothing is left for the pixel.
    EXPECT_EQ(open(reader(), build_ico(s)).status, 1);
    s.bytes = 40 + 1020;  // the table itself no longer fits
    EXPECT_EQ(open(reader(), build_ico(s)).status, 1);
}

TEST_F(Bmp, IconAfterA128BytePrefix) {
    Bytes file(128, 0xEE);
    append(file, build_ico(icon32x32()));
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    EXPECT_EQ(reader().imgs(f.path(), 128), 1);
    const Opened o = open(reader(), f.path(), 128);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 2, 5), table_colour(7, 1.0f));
}
