// Colour-mapped files (type 1): the map into the palette, 8- and 16-bit
// indices, the first entry index and maps longer than the palette.
#include "tga_fixture.h"

using namespace kintest;

namespace {

// A 24-bit map whose entry i is the colour (i, 255 - i % 256, 7).
Bytes map24(uint32_t n) {
    Bytes out;
    for (uint32_t i = 0; i < n; ++i) {
        put8(out, 7);
        put8(out, 255 - i % 256);
        put8(out, i % 256);
    }
    return out;
}

KvzaPixel map24_colour(uint32_t i) {
    return kvz8(static_cast<int>(i % 256), 255 - i % 256, 7);
}

TgaSpec mapped(uint16_t first, uint16_t length, uint8_t depth, std::vector<uint32_t> indices) {
    TgaSpec s;
    s.map_type = 1;
    s.type = 1;
    s.first_index = first;
    s.map_length = length;
    s.entry_bits = 24;
    s.map = map24(length);
    s.width = static_cast<uint16_t>(indices.size());
    s.height = 1;
    s.depth = depth;
    s.pixels = pack_tight(depth / 8, {indices});
    return s;
}

}  // namespace

TEST_F(Tga, EightBitIndicesIntoA24BitMap) {
    const Opened o = open(reader(), build_tga(mapped(0, 16, 8, {0, 15, 3})));
    ASSERT_EQ(o.status, 0);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_PIXEL(o.image->palette[i], map24_colour(i)) << i;
    EXPECT_TRUE(is_clear(o.image->palette[16]));
    EXPECT_PIXEL(pix(o.image, 0, 0), map24_colour(0));
    EXPECT_PIXEL(pix(o.image, 1, 0), map24_colour(15));
    EXPECT_PIXEL(pix(o.image, 2, 0), map24_colour(3));
    EXPECT_EQ(o.image->pixtype, 0);
}

TEST_F(Tga, FirstEntryIndexSixteenClearsLowerIndices) {
    const Opened o = open(reader(), build_tga(mapped(16, 8, 8, {0, 15, 16, 23})));
    ASSERT_EQ(o.status, 0);
    EXPECT_TRUE(is_clear(pix(o.image, 0, 0)));
    EXPECT_TRUE(is_clear(pix(o.image, 1, 0)));
    EXPECT_PIXEL(pix(o.image, 2, 0), map24_colour(0));
    EXPECT_PIXEL(pix(o.image, 3, 0), map24_colour(7));
}

TEST_F(Tga, EightBitIndexPastTheMapTakesTheRecordsPaletteEntry) {
    // Entries beyond the map's length were never written: they keep the
    // caller's zero palette.
    const Opened o = open(reader(), build_tga(mapped(0, 4, 8, {200})));
    ASSERT_EQ(o.status, 0);
    EXPECT_TRUE(is_clear(pix(o.image, 0, 0)));
}

TEST_F(Tga, SixteenBitIndicesWithA300EntryMap) {
    const Opened o =
        open(reader(), build_tga(mapped(0, 300, 16, {0, 255, 256, 299, 300, 65535, 17})));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(o.image->palette[255], map24_colour(255));
    EXPECT_PIXEL(pix(o.image, 0, 0), map24_colour(0));
    EXPECT_PIXEL(pix(o.image, 1, 0), map24_colour(255));
    EXPECT_PIXEL(pix(o.image, 2, 0), map24_colour(256));  // converted from the map
    EXPECT_PIXEL(pix(o.image, 3, 0), map24_colour(299));
    EXPECT_TRUE(is_clear(pix(o.image, 4, 0)));
    EXPECT_TRUE(is_clear(pix(o.image, 5, 0)));
    EXPECT_PIXEL(pix(o.image, 6, 0), map24_colour(17));
}

TEST_F(Tga, SixteenBitIndicesWithAFirstEntryIndex) {
    const Opened o =
        open(reader(), build_tga(mapped(1000, 300, 16, {999, 1000, 1255, 1256, 1299, 1300})));
    ASSERT_EQ(o.status, 0);
    EXPECT_TRUE(is_clear(pix(o.image, 0, 0)));
    EXPECT_PIXEL(pix(o.image, 1, 0), map24_colour(0));
    EXPECT_PIXEL(pix(o.image, 2, 0), map24_colour(255));
    EXPECT_PIXEL(pix(o.image, 3, 0), map24_colour(256));
    EXPECT_PIXEL(pix(o.image, 4, 0), map24_colour(299));
    EXPECT_TRUE(is_clear(pix(o.image, 5, 0)));
}

TEST_F(Tga, SixteenBitMapEntriesTakeAlphaFromBit15) {
    TgaSpec s;
    s.map_type = 1;
    s.type = 1;
    s.map_length = 2;
    s.entry_bits = 16;
    put16(s.map, (31U << 10) | 5U);      // bit 15 clear
    put16(s.map, 0x8000U | (31U << 5));  // bit 15 set
    s.width = 2;
    s.height = 1;
    s.depth = 8;
    s.pixels = {0, 1};
    s.descriptor = 1;
    Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(o.image->palette[0], kvz(1.0f, 0.0f, five(5), 0.0f));
    EXPECT_PIXEL(o.image->palette[1], kvz(0.0f, 1.0f, 0.0f, 1.0f));
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(1.0f, 0.0f, five(5), 0.0f));
    s.descriptor = 0;  // no attribute bits: every entry opaque
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.image->palette[0].a, 1.0f);
}

TEST_F(Tga, ThirtyTwoBitMapEntriesTakeAlphaUnderTheAttributeMask) {
    TgaSpec s;
    s.map_type = 1;
    s.type = 1;
    s.map_length = 1;
    s.entry_bits = 32;
    s.map = {0x30, 0x20, 0x10, 0x66};
    s.width = 1;
    s.height = 1;
    s.depth = 8;
    s.pixels = {0};
    s.descriptor = 8;
    Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(o.image->palette[0], kvz8(0x10, 0x20, 0x30, 0x66 / 255.0f));
    s.descriptor = 3;  // 0x66 & 7 = 6 of 7
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_FLOAT_EQ(o.image->palette[0].a, 6.0f / 7.0f);
    s.descriptor = 0;
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.image->palette[0].a, 1.0f);
}

TEST_F(Tga, SixteenBitIndexConvertsAThirtyTwoBitEntryWithItsAlpha) {
    TgaSpec s;
    s.map_type = 1;
    s.type = 1;
    s.map_length = 258;
    s.entry_bits = 32;
    s.map = Bytes(257 * 4, 0);
    append(s.map, {0x30, 0x20, 0x10, 0x80});
    s.width = 1;
    s.height = 1;
    s.depth = 16;
    s.descriptor = 8;
    s.pixels = pack_tight(2, {{257}});
    const Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(0x10, 0x20, 0x30, 128.0f / 255.0f));
}

TEST_F(Tga, MappedFilesHaveNo24Or32BitIndices) {
    for (uint8_t depth : {24, 32}) {
        TgaSpec s = mapped(0, 2, 8, {0});
        s.depth = depth;
        s.pixels = Bytes(depth / 8, 0);
        TempFile f(build_tga(s));
        EXPECT_EQ(reader().imgs(f.path(), 0), 1);
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 1);
        kvzatest::ImagePtr image = kvzatest::make_image(1, 1);
        EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1) << int{depth};
    }
}

TEST_F(Tga, MappedEntrySizeMustBe16_24Or32) {
    for (uint8_t bits : {0, 8, 15, 33}) {
        TgaSpec s = mapped(0, 2, 8, {0});
        s.entry_bits = bits;
        TempFile f(build_tga(s));
        EXPECT_EQ(reader().imgs(f.path(), 0), 0) << int{bits};
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
        kvzatest::ImagePtr image = kvzatest::make_image(1, 1);
        EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
    }
}
