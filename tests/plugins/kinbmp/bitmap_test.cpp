// Bitmaps the reader accepts: every depth, both header sizes, both row orders,
// colour tables, bit fields and the pixel type each layout is recorded as.
#include <cmath>

#include "bmp_fixture.h"

using namespace kintest;

namespace {

// A 24-bit 2 x 2 bitmap: stored rows (bottom-up by default) of BGR pixels.
Bytes two_by_two(int32_t height) {
    BmpSpec s;
    s.width = 2;
    s.height = height;
    s.bpp = 24;
    s.rows = pack_rows(24, {{0xFF0000, 0x00FF00}, {0x0000FF, 0x808080}});
    return build_bmp(s);
}

}  // namespace

TEST_F(Bmp, Info24BottomUpPutsFirstStoredRowAtTheBottom) {
    const Bytes file = two_by_two(2);
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    const Opened o = open(reader(), f.path());
    ASSERT_EQ(o.pixels, 4);
    EXPECT_EQ(o.width, 2);
    EXPECT_EQ(o.height, 2);
    ASSERT_EQ(o.status, 0);
    // 0xRRGGBB values packed little-endian are stored blue, green, red.
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(255, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 1), rgb8(0, 255, 0));
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(0, 0, 255));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(128, 128, 128));
    EXPECT_EQ(o.image->pixtype, 20);
}

TEST_F(Bmp, NegativeHeightMeansTopRowFirst) {
    const Opened o = open(reader(), two_by_two(-2));
    ASSERT_EQ(o.pixels, 4);
    EXPECT_EQ(o.height, 2);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(255, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(0, 255, 0));
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(0, 0, 255));
}

TEST_F(Bmp, DecodedColoursConvertBackToTheFileBytes) {
    const Opened o = open(reader(), two_by_two(-2));
    ASSERT_EQ(o.status, 0);
    KvzaPixel rgb;
    kvza_kvza2rgba(&rgb, &pix(o.image, 1, 1));
    EXPECT_NEAR(rgb.c, 128 / 255.0, 1e-5);
    EXPECT_NEAR(rgb.s, 128 / 255.0, 1e-5);
    EXPECT_NEAR(rgb.w, 128 / 255.0, 1e-5);
    EXPECT_EQ(rgb.a, 1.0f);
    kvza_kvza2rgba(&rgb, &pix(o.image, 1, 0));
    EXPECT_NEAR(rgb.c, 0.0, 1e-5);
    EXPECT_NEAR(rgb.s, 1.0, 1e-5);
}

TEST_F(Bmp, OneBitWidthTenReadsTwoBytesAndTwoPaddingBytesPerRow) {
    BmpSpec s;
    s.width = 10;
    s.height = -2;
    s.bpp = 1;
    s.table = colour_table({0x102030, 0xF0E0D0}, 4);
    // Row 0: 1010101010, row 1: 0000000001. The padding bytes are 0xFF so a
    // reader that ignored the stride would see set bits.
    s.rows = {0xAA, 0x80, 0xFF, 0xFF, 0x00, 0x40, 0xFF, 0xFF};
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.pixels, 20);
    ASSERT_EQ(o.status, 0);
    const KvzaPixel c0 = kvz8(0x10, 0x20, 0x30), c1 = kvz8(0xF0, 0xE0, 0xD0);
    EXPECT_PIXEL(o.image->palette[0], c0);
    EXPECT_PIXEL(o.image->palette[1], c1);
    for (int x = 0; x < 10; ++x) {
        EXPECT_PIXEL(pix(o.image, x, 0), x % 2 == 0 ? c1 : c0) << "x " << x;
        EXPECT_PIXEL(pix(o.image, x, 1), x == 9 ? c1 : c0) << "x " << x;
    }
    EXPECT_EQ(o.image->pixtype, 202);
}

TEST_F(Bmp, FourBitHighNibbleFirst) {
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bpp = 4;
    std::vector<uint32_t> table(16);
    for (uint32_t i = 0; i < 16; ++i) table[i] = i * 0x101010;
    s.table = colour_table(table, 4);
    s.rows = {0x2F, 0x70, 0, 0};
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(0x20, 0x20, 0x20));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz8(0xF0, 0xF0, 0xF0));
    EXPECT_PIXEL(pix(o.image, 2, 0), kvz8(0x70, 0x70, 0x70));
    for (int i = 0; i < 16; ++i) EXPECT_PIXEL(o.image->palette[i], kvz8(16 * i, 16 * i, 16 * i));
    EXPECT_TRUE(is_clear(o.image->palette[16]));
    EXPECT_EQ(o.image->pixtype, 212);
}

TEST_F(Bmp, EightBitReadsAllTableEntriesWhateverTheColoursUsedField) {
    // Only 4 real entries, the data position right after them; the reader
    // still takes 256 entries, the rest from the pixel bytes and the trailer.
    BmpSpec s;
    s.width = 4;
    s.height = 1;
    s.bpp = 8;
    s.table = colour_table({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, 4);
    s.rows = {3, 2, 1, 0};
    s.trailer = Bytes(252 * 4 - 4, 0x40);
    const Bytes file = build_bmp(s);
    const Opened o = open(reader(), file);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(255, 255, 255));
    EXPECT_PIXEL(pix(o.image, 3, 0), kvz8(255, 0, 0));
    // Entry 4 is the pixel row 03 02 01 00: blue 3, green 2, red 1.
    EXPECT_PIXEL(o.image->palette[4], kvz8(1, 2, 3));
    EXPECT_PIXEL(o.image->palette[255], kvz8(0x40, 0x40, 0x40));
    EXPECT_EQ(o.image->pixtype, 41);
}

TEST_F(Bmp, EightBitTableThatDoesNotFitTheFileFails) {
    BmpSpec s;
    s.width = 4;
    s.height = 1;
    s.bpp = 8;
    s.table = colour_table({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, 4);
    s.rows = {3, 2, 1, 0};
    s.trailer = Bytes(252 * 4 - 5, 0x40);  // one byte short of 256 entries
    const Opened o = open(reader(), build_bmp(s));
    EXPECT_EQ(o.pixels, 4);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.image->pixtype, 0);
}

TEST_F(Bmp, CoreHeaderWithThreeByteTableEntries) {
    BmpSpec s;
    s.header_size = 12;
    s.width = 2;
    s.height = 1;
    s.bpp = 8;
    std::vector<uint32_t> table(256, 0);
    table[0] = 0x112233;
    table[7] = 0xAABBCC;
    s.table = colour_table(table, 3);
    s.rows = {7, 0, 0, 0};
    const Bytes file = build_bmp(s);
    ASSERT_EQ(file.size(), 14U + 12 + 768 + 4);
    const Opened o = open(reader(), file);
    ASSERT_EQ(o.pixels, 2);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(0xAA, 0xBB, 0xCC));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz8(0x11, 0x22, 0x33));
    EXPECT_EQ(o.image->pixtype, 41);
}

TEST_F(Bmp, CoreHeaderSixteenBitSizesAndNegativeHeight) {
    BmpSpec s;
    s.header_size = 12;
    s.width = 1;
    s.height = -2;
    s.bpp = 24;
    s.rows = pack_rows(24, {{0x010203}, {0x040506}});
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.pixels, 2);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(1, 2, 3));
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(4, 5, 6));
    EXPECT_EQ(o.image->pixtype, 20);
}

TEST_F(Bmp, Uncompressed16BitIs555) {
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bpp = 16;
    // Red 31, green 0, blue 16; then the dummy top bit set on a green-only pixel.
    s.rows = pack_rows(16, {{(31U << 10) | 16U, 0x8000U | (31U << 5), 0x7FFF}});
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(1.0f, 0.0f, static_cast<float>(16.0 / 31.0)));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz(0.0f, 1.0f, 0.0f));
    EXPECT_PIXEL(pix(o.image, 2, 0), kvz(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(o.image->pixtype, 24);
}

TEST_F(Bmp, ThirtyTwoBitAlphaByteIsIgnored) {
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bpp = 32;
    s.rows = pack_rows(32, {{0x00FF8000, 0x7F000080}});
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(255, 128, 0));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(0, 0, 128));
    EXPECT_EQ(pix(o.image, 0, 0).a, 1.0f);
    EXPECT_EQ(pix(o.image, 1, 0).a, 1.0f);
    EXPECT_EQ(o.image->pixtype, 22);
}

// ---- bit fields ----------------------------------------------------------

namespace {

struct FieldCase {
    uint16_t bpp;
    uint32_t red, green, blue;
    int16_t pixtype;
};

Bytes one_pixel_fields(uint16_t bpp, uint32_t r, uint32_t g, uint32_t b, uint32_t value) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bpp = bpp;
    s.compression = 3;
    s.masks = {r, g, b};
    s.rows = pack_rows(bpp, {{value}});
    return build_bmp(s);
}

}  // namespace

TEST_F(Bmp, BitFieldMasksSelectThePixelType) {
    const FieldCase cases[] = {
        {16, 0xF800, 0x07E0, 0x001F, 23},
        {16, 0x7C00, 0x03E0, 0x001F, 24},
        {16, 0x0F00, 0x00F0, 0x000F, 30},
        {16, 0xFFFF, 0xFFFF, 0xFFFF, 81},
        {24, 0xFF0000, 0xFF00, 0xFF, 20},
        {32, 0xFF0000, 0xFF00, 0xFF, 22},
        {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 190},
        {32, 0xFFE00000, 0x001FFC00, 0x000003FF, 191},
        // The type follows the channels' bit counts, wherever the bits lie.
        {16, 0x001F, 0x03E0, 0x7C00, 24},
        {32, 0x000000FF, 0x0000FF00, 0xFF000000, 22},
        // Channel sizes that no layout has.
        {16, 0xFC00, 0x03E0, 0x001F, 0},
        {16, 0x00FF, 0xFF00, 0x0000, 0},
        {24, 0xFFF000, 0x000FF0, 0x00000F, 0},
        {32, 0xFFC00000, 0x003FF000, 0x00000FFF, 0},
    };
    for (const FieldCase &c : cases) {
        const Opened o = open(reader(), one_pixel_fields(c.bpp, c.red, c.green, c.blue, 0));
        ASSERT_EQ(o.status, 0) << c.bpp << " bits, red mask " << std::hex << c.red;
        EXPECT_EQ(o.image->pixtype, c.pixtype) << c.bpp << " bits, red mask " << std::hex << c.red;
    }
}

TEST_F(Bmp, BitField565ChannelsScaleByTheirOwnBitCount) {
    // Red 31 of 31, green 32 of 63, blue 1 of 31.
    const uint32_t v = (31U << 11) | (32U << 5) | 1U;
    const Opened o = open(reader(), one_pixel_fields(16, 0xF800, 0x07E0, 0x001F, v));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0),
                 kvz(1.0f, static_cast<float>(32.0 / 63.0), static_cast<float>(1.0 / 31.0)));
}

TEST_F(Bmp, BitField111110ChannelsOfThirtyTwoBits) {
    // Red 2047 of 2047, green 0, blue 512 of 1023.
    const uint32_t v = 0xFFE00000U | 512U;
    const Opened o = open(reader(), one_pixel_fields(32, 0xFFE00000, 0x001FFC00, 0x3FF, v));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(1.0f, 0.0f, static_cast<float>(512.0 / 1023.0)));
    EXPECT_EQ(o.image->pixtype, 191);
}

TEST_F(Bmp, ScatteredMaskBitsAreGatheredLowestFirst) {
    // Red mask bits 0, 4, 8, 12: value bits 0 and 12 set -> gathered 0b1001 = 9 of 15.
    const Opened o = open(reader(), one_pixel_fields(16, 0x1111, 0x00F0, 0, 0x1001));
    ASSERT_EQ(o.status, 0);
    // An empty mask gives a zero channel.
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(static_cast<float>(9.0 / 15.0), 0.0f, 0.0f));
    EXPECT_EQ(o.image->pixtype, 0);
}

TEST_F(Bmp, SixteenBitValuesAreSignExtendedForWideMasks) {
    // A mask above bit 15 sees copies of bit 15.
    const Opened o = open(reader(), one_pixel_fields(16, 0xFFFF0000, 0x0000FF00, 0xFF, 0x80FF));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(1.0f, static_cast<float>(128.0 / 255.0), 1.0f));
}

TEST_F(Bmp, BitFieldTwentyFourBit) {
    const Opened o = open(reader(), one_pixel_fields(24, 0xFF, 0xFF00, 0xFF0000, 0x123456));
    ASSERT_EQ(o.status, 0);
    // Masks swapped: red is the first stored byte.
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(0x56, 0x34, 0x12));
    EXPECT_EQ(o.image->pixtype, 20);
}

// ---- offsets, sizes and the record ----------------------------------------

TEST_F(Bmp, PrefixOf128BytesIsFoundAtOffset128) {
    Bytes file(128, 'x');
    append(file, two_by_two(2));
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().imgs(f.path(), 128), 1);
    const Opened o = open(reader(), f.path(), 128);
    ASSERT_EQ(o.pixels, 4);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(255, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 0), rgb8(128, 128, 128));
}

TEST_F(Bmp, PixsWithNullPointersStillCounts) {
    TempFile f(two_by_two(-2));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 4);
    int32_t w = 0;
    EXPECT_EQ(reader().pixs(f.path(), 0, &w, nullptr), 4);
    EXPECT_EQ(w, 2);
}

TEST_F(Bmp, ZeroWidthOrHeightCountsNoPixels) {
    BmpSpec s;
    s.width = 0;
    s.height = 5;
    TempFile f(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    s.width = 5;
    s.height = 0;
    f.write(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
}

TEST_F(Bmp, ImgsComparesTheFileSizeFieldWithTheFile) {
    BmpSpec s;
    s.rows = pack_rows(24, {{0x123456}});
    const Bytes exact = build_bmp(s);
    s.file_size = static_cast<uint32_t>(exact.size() + 1);
    const Bytes claims_more = build_bmp(s);
    s.file_size = 6;
    const Bytes claims_less = build_bmp(s);
    TempFile f(exact);
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    f.write(claims_more);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    // The other exports do not look at the field.
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 1);
    f.write(claims_less);
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
}

TEST_F(Bmp, ImgsNeedsSixBytes) {
    TempFile f({'B', 'M', 0, 0, 0});
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    f.write({'B', 'M', 0, 0, 0, 0});
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);  // file size field 0
    f.write({'X', 'M', 0, 0, 0, 0});
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
}

TEST_F(Bmp, SmallerRecordReceivesNoWriteOutsideItself) {
    BmpSpec s;
    s.width = 3;
    s.height = -2;
    s.rows = pack_rows(24, {{0x010101, 0x020202, 0x030303}, {0x040404, 0x050505, 0x060606}});
    kvzatest::ImagePtr image;
    // Clamp: the third column and the second row land on the last column and row.
    ASSERT_EQ(load_into(reader(), build_bmp(s), 2, 1, image), 0);
    EXPECT_PIXEL(pix(image, 0, 0), rgb8(4, 4, 4));
    EXPECT_PIXEL(pix(image, 1, 0), rgb8(6, 6, 6));
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 1);
    // Border: everything outside goes to the border colour.
    ASSERT_EQ(load_into(reader(), build_bmp(s), 2, 1, image, 0, KVZA_WRAP_BORDER), 0);
    EXPECT_PIXEL(pix(image, 0, 0), rgb8(1, 1, 1));
    EXPECT_PIXEL(pix(image, 1, 0), rgb8(2, 2, 2));
    EXPECT_PIXEL(image->border, rgb8(6, 6, 6));
}

TEST_F(Bmp, LoadLeavesTheRecordsOwnFieldsAlone) {
    kvzatest::ImagePtr image = kvzatest::make_image(2, 2);
    image->wrapx = KVZA_WRAP_MIRROR;
    image->wrapy = KVZA_WRAP_WRAP;
    image->viewinfo[0] = 9;
    image->border = {0.5f, 0.25f, 0.125f, 1.0f};
    image->reserved = 77;
    TempFile f(two_by_two(2));
    ASSERT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 0);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->wrapx, KVZA_WRAP_MIRROR);
    EXPECT_EQ(image->wrapy, KVZA_WRAP_WRAP);
    EXPECT_EQ(image->viewinfo[0], 9);
    EXPECT_EQ(image->reserved, 77);
    EXPECT_EQ(image->border.c, 0.5f);
    EXPECT_TRUE(is_clear(image->palette[0]));  // no table in a 24-bit file
}

TEST_F(Bmp, ExportsGiveTheSameAnswersInAnyOrderAndRepeatedly) {
    TempFile f(two_by_two(2));
    for (int round = 0; round < 3; ++round) {
        kvzatest::ImagePtr image = kvzatest::make_image(2, 2);
        EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 0);
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 4);
        EXPECT_EQ(reader().imgs(f.path(), 0), 1);
        EXPECT_PIXEL(pix(image, 0, 1), rgb8(255, 0, 0));
    }
}

TEST_F(Bmp, LargerFilesGiveTheSameChannelValuesAsSinglePixels) {
    // Enough pixels for the reader to precompute each channel's levels: every
    // value must still be the channel over its level count.
    BmpSpec s;
    s.width = 24;
    s.height = -20;
    s.bpp = 24;
    std::vector<std::vector<uint32_t>> rows(20, std::vector<uint32_t>(24));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x)
            rows[y][x] = static_cast<uint32_t>((x * 11) << 16 | (y * 13) << 8 | (x + y * 24) % 256);
    s.rows = pack_rows(24, rows);
    const Opened o = open(reader(), build_bmp(s));
    ASSERT_EQ(o.status, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_TRUE(same_pixel(pix(o.image, x, y), rgb8(x * 11, y * 13, (x + y * 24) % 256)))
                << x << ", " << y;

    s.width = 12;
    s.height = -12;
    s.bpp = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    rows.assign(12, std::vector<uint32_t>(12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            rows[y][x] = static_cast<uint32_t>((x * 2) << 11 | (x + y * 4) << 5 | y);
    s.rows = pack_rows(16, rows);
    const Opened f = open(reader(), build_bmp(s));
    ASSERT_EQ(f.status, 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_TRUE(same_pixel(pix(f.image, x, y), kvz(static_cast<float>(x * 2 / 31.0),
                                                           static_cast<float>((x + y * 4) / 63.0),
                                                           static_cast<float>(y / 31.0))))
                << x << ", " << y;
}
