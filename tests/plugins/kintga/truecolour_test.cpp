// True-colour (type 2) and grey (type 3) files.
#include <cstring>

#include "tga_fixture.h"

using namespace kintest;

namespace {

TgaSpec true24(uint8_t descriptor) {
    TgaSpec s;
    s.type = 2;
    s.width = 2;
    s.height = 2;
    s.depth = 24;
    s.descriptor = descriptor;
    s.pixels = pack_tight(3, {{0xFF0000, 0x00FF00}, {0x0000FF, 0x102030}});
    return s;
}

}  // namespace

TEST_F(Tga, TrueColour24BottomUpWhenBit5IsClear) {
    TempFile f(build_tga(true24(0)));
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    const Opened o = open(reader(), f.path());
    ASSERT_EQ(o.pixels, 4);
    EXPECT_EQ(o.width, 2);
    EXPECT_EQ(o.height, 2);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 1), kvz8(255, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 1), kvz8(0, 255, 0));
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(0, 0, 255));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz8(0x10, 0x20, 0x30));
    EXPECT_EQ(o.image->pixtype, 0);
}

TEST_F(Tga, TrueColour24TopDownWhenBit5IsSet) {
    // Bits 4, 6 and 7 of the descriptor change nothing.
    const Opened o = open(reader(), build_tga(true24(0x20 | 0x10 | 0xC0)));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(255, 0, 0));
    EXPECT_PIXEL(pix(o.image, 1, 1), kvz8(0x10, 0x20, 0x30));
}

TEST_F(Tga, TrueColour32AlphaFollowsTheAttributeBits) {
    TgaSpec s;
    s.type = 2;
    s.width = 3;
    s.height = 1;
    s.depth = 32;
    s.descriptor = 0x28;  // 8 attribute bits, top row first
    s.pixels = pack_tight(4, {{0x80102030, 0x00405060, 0xFF708090}});
    Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(0x10, 0x20, 0x30, 128.0f / 255.0f));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz8(0x40, 0x50, 0x60, 0.0f));
    EXPECT_PIXEL(pix(o.image, 2, 0), kvz8(0x70, 0x80, 0x90, 1.0f));

    s.descriptor = 0x20;  // no attribute bits: opaque whatever the fourth bytes hold
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pix(o.image, x, 0).a, 1.0f) << x;

    s.descriptor = 0x24;  // 4 attribute bits: the low nibble over 15
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_FLOAT_EQ(pix(o.image, 0, 0).a, 0.0f);  // 0x80 & 15
    EXPECT_FLOAT_EQ(pix(o.image, 2, 0).a, 1.0f);  // 0xFF & 15
}

TEST_F(Tga, TrueColour16AlphaBitOnlyWithAttributeBits) {
    TgaSpec s;
    s.type = 2;
    s.width = 2;
    s.height = 1;
    s.depth = 16;
    s.descriptor = 1;
    // Red 31, green 16, blue 1 with bit 15 clear; pure blue with bit 15 set.
    s.pixels = pack_tight(2, {{(31U << 10) | (16U << 5) | 1U, 0x8000U | 31U}});
    Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz(five(31), five(16), five(1), 0.0f));
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz(0.0f, 0.0f, five(31), 1.0f));

    s.descriptor = 0;
    o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(pix(o.image, 0, 0).a, 1.0f);
    EXPECT_EQ(pix(o.image, 1, 0).a, 1.0f);
}

TEST_F(Tga, TrueColourHasNoEightBitLayout) {
    TgaSpec s;
    s.type = 2;
    s.depth = 8;
    s.pixels = {0};
    TempFile f(build_tga(s));
    EXPECT_EQ(reader().imgs(f.path(), 0), 1) << "the header check does not know the layouts";
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 1);
    kvzatest::ImagePtr image = kvzatest::make_image(1, 1);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Tga, GreyEightBitIsWrittenAsWhiteness) {
    TgaSpec s;
    s.type = 3;
    s.width = 3;
    s.height = 1;
    s.depth = 8;
    s.pixels = {0, 255, 51};
    const Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    const KvzaPixel &black = pix(o.image, 0, 0), &white = pix(o.image, 1, 0);
    EXPECT_EQ(black.c, 0.0f);
    EXPECT_EQ(black.s, 0.0f);
    EXPECT_FLOAT_EQ(black.w, -1.0f);
    EXPECT_EQ(black.a, 1.0f);
    EXPECT_FLOAT_EQ(white.w, 1.0f);
    EXPECT_EQ(white.c, 0.0f);
    EXPECT_NEAR(pix(o.image, 2, 0).w, 51.0 * 2.0 / 255.0 - 1.0, 1e-6);
}

TEST_F(Tga, GreyDepthsSpanMinusOneToOne) {
    struct Case {
        uint8_t depth;
        uint32_t mid;
        double full;
    } cases[] = {{16, 0x4000, 65535.0}, {24, 0x400000, 16777215.0}, {32, 0x40000000, 4294967296.0}};
    for (const Case &c : cases) {
        TgaSpec s;
        s.type = 3;
        s.width = 3;
        s.height = 1;
        s.depth = c.depth;
        const uint32_t top = c.depth == 32 ? 0xFFFFFFFFU : (1U << c.depth) - 1U;
        s.pixels = pack_tight(c.depth / 8, {{0, top, c.mid}});
        const Opened o = open(reader(), build_tga(s));
        ASSERT_EQ(o.status, 0) << int{c.depth};
        EXPECT_FLOAT_EQ(pix(o.image, 0, 0).w, -1.0f) << int{c.depth};
        EXPECT_NEAR(pix(o.image, 1, 0).w, 1.0, 1e-6) << int{c.depth};
        EXPECT_NEAR(pix(o.image, 2, 0).w, 2.0 * c.mid / c.full - 1.0, 1e-6) << int{c.depth};
        EXPECT_EQ(pix(o.image, 2, 0).a, 1.0f);
        EXPECT_EQ(pix(o.image, 2, 0).c, 0.0f);
    }
}

TEST_F(Tga, GreyThirtyTwoBitKeepsItsLowBits) {
    // Values just above and below the middle differ from it in the lowest
    // bits only; they must not collapse onto the middle grey.
    TgaSpec s;
    s.type = 3;
    s.width = 3;
    s.height = 1;
    s.depth = 32;
    s.pixels = pack_tight(4, {{0x80000000U, 0x80000001U, 0x7FFFFFC0U}});
    const Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(pix(o.image, 0, 0).w, 0.0f);
    EXPECT_EQ(pix(o.image, 1, 0).w, 0x1p-31f);
    EXPECT_EQ(pix(o.image, 2, 0).w, -0x1p-25f);
}

TEST_F(Tga, IdFieldIsSkipped) {
    TgaSpec plain = true24(0x20);
    TgaSpec with_id = plain;
    with_id.id = pattern(10, 5);
    const Opened a = open(reader(), build_tga(plain));
    const Opened b = open(reader(), build_tga(with_id));
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(std::memcmp(a.image.get(), b.image.get(), KVZA_HEADER_BYTES + 4 * sizeof(KvzaPixel)),
              0);
}

TEST_F(Tga, TrueColourIgnoresTheColourMapFields) {
    // A map is announced but types 2 and 3 take the data right after the ID.
    TgaSpec s = true24(0x20);
    s.map_type = 1;
    s.map_length = 100;
    s.entry_bits = 99;
    s.first_index = 7;
    const Opened o = open(reader(), build_tga(s));
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 0, 0), kvz8(255, 0, 0));
}

TEST_F(Tga, PrefixOf128Bytes) {
    Bytes file(128, 0xFF);
    append(file, build_tga(true24(0x20)));
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().imgs(f.path(), 128), 1);
    const Opened o = open(reader(), f.path(), 128);
    ASSERT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 1, 1), kvz8(0x10, 0x20, 0x30));
}

TEST_F(Tga, PixsStoresTheSizeAndAcceptsNullPointers) {
    TgaSpec s = true24(0);
    s.width = 3;
    s.height = 5;
    s.pixels = Bytes(45, 1);
    TempFile f(build_tga(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 15);
    int32_t w = 0, h = 0;
    EXPECT_EQ(reader().pixs(f.path(), 0, &w, &h), 15);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 5);
    // Sizes are unsigned 16-bit.
    s.width = 40000;
    s.height = 1;
    s.pixels = Bytes(120000, 0);
    f.write(build_tga(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, &w, &h), 40000);
    EXPECT_EQ(w, 40000);
}

TEST_F(Tga, ZeroSizeCountsNoPixels) {
    TgaSpec s = true24(0);
    s.width = 0;
    s.pixels.clear();
    TempFile f(build_tga(s));
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
}

TEST_F(Tga, SmallerRecordReceivesNoWriteOutsideItself) {
    kvzatest::ImagePtr image;
    ASSERT_EQ(load_into(reader(), build_tga(true24(0x20)), 1, 1, image), 0);
    EXPECT_PIXEL(pix(image, 0, 0), kvz8(0x10, 0x20, 0x30));  // the last pixel, clamped
    ASSERT_EQ(load_into(reader(), build_tga(true24(0x20)), 1, 1, image, 0, KVZA_WRAP_BORDER), 0);
    EXPECT_PIXEL(pix(image, 0, 0), kvz8(255, 0, 0));
    EXPECT_PIXEL(image->border, kvz8(0x10, 0x20, 0x30));
}
