// Exact bytes of small images in every layout, without dither: header fields,
// sizes, masks, palette entries, bit order of the packed rows and padding.
#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

const Layout &layout(int id) {
    for (const Layout &l : kAllLayouts)
        if (l.id == id) return l;
    static const Layout none{};
    return none;
}

std::vector<uint32_t> masks_of(const Layout &l) {
    if (l.compression != 3) return {};
    return {l.masks[0], l.masks[1], l.masks[2]};
}

// ------------------------------------------------------------ RGB layouts

class RgbBytes : public WriterTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(RgbBytes, FiveByTwoImage) {
    const Layout &l = GetParam();
    const std::vector<Colour> top = {kRed, kChartreuse, kWhite, kBlack, kGrey};
    const std::vector<Colour> bottom = {kCyan, kViolet, kLight, kRed, kBlack};
    Rows rows(2);
    std::vector<std::vector<uint32_t>> values(2);  // bottom row first, as stored
    for (size_t x = 0; x < top.size(); ++x) {
        rows[0].push_back(top[x].kvz);
        rows[1].push_back(bottom[x].kvz);
        values[0].push_back(rgb_value(l, bottom[x]));
        values[1].push_back(rgb_value(l, top[x]));
    }
    auto image = image_from(rows);
    const Saved s = save(image.get(), options(l.id));
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bytes,
              bitmap(5, 2, l.bits, l.compression, masks_of(l), {}, rows_of(l.bits, values)));
}

TEST_P(RgbBytes, FullAndHalfChannelsHaveTheExpectedCodes) {
    // Independent of the generic expectation above: the codes of a few
    // channels written out by hand for each layout.
    const Layout &l = GetParam();
    auto image = image_from({{kWhite.kvz, kChartreuse.kvz, kLight.kvz}});
    const Saved s = save(image.get(), options(l.id));
    ASSERT_EQ(s.status, 0);
    const size_t at = l.compression == 3 ? 66 : 54;
    const size_t step = l.bits / 8;
    auto word = [&](int x) {
        uint32_t v = 0;
        for (size_t k = 0; k < step; ++k) v |= uint32_t{s.bytes[at + x * step + k]} << (8 * k);
        return v;
    };
    switch (l.id) {
        case 20:  // white, chartreuse (127, 255, 0), light grey 191
            EXPECT_EQ(word(0), 0xffffffu);
            EXPECT_EQ(word(1), 0x7fff00u);
            EXPECT_EQ(word(2), 0xbfbfbfu);
            break;
        case 22:
            EXPECT_EQ(word(0), 0x00ffffffu);
            EXPECT_EQ(word(1), 0x007fff00u);
            EXPECT_EQ(word(2), 0x00bfbfbfu);
            break;
        case 23:  // 5/6/5: half is 15 and 31, three quarters 23 and 47
            EXPECT_EQ(word(0), 0xffffu);
            EXPECT_EQ(word(1), (15u << 11) | (63u << 5));
            EXPECT_EQ(word(2), (23u << 11) | (47u << 5) | 23u);
            break;
        case 24:  // 5/5/5, top bit 0
            EXPECT_EQ(word(0), 0x7fffu);
            EXPECT_EQ(word(1), (15u << 10) | (31u << 5));
            EXPECT_EQ(word(2), (23u << 10) | (23u << 5) | 23u);
            break;
        case 30:  // 4/4/4, top nibble 0
            EXPECT_EQ(word(0), 0x0fffu);
            EXPECT_EQ(word(1), (7u << 8) | (15u << 4));
            EXPECT_EQ(word(2), (11u << 8) | (11u << 4) | 11u);
            break;
        case 190:  // 10/10/10, top two bits 0
            EXPECT_EQ(word(0), 0x3fffffffu);
            EXPECT_EQ(word(1), (511u << 20) | (1023u << 10));
            EXPECT_EQ(word(2), (767u << 20) | (767u << 10) | 767u);
            break;
        case 191:  // 11/11/10
            EXPECT_EQ(word(0), 0xffffffffu);
            EXPECT_EQ(word(1), (1023u << 21) | (2047u << 10));
            EXPECT_EQ(word(2), (1535u << 21) | (1535u << 10) | 767u);
            break;
        default:
            FAIL() << "not an RGB layout";
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RgbBytes,
                         ::testing::Values(layout(20), layout(22), layout(23), layout(24),
                                           layout(30), layout(190), layout(191)),
                         layout_name);

class SpecialSizes : public WriterTest {};

TEST_F(SpecialSizes, OnePixelTrueColourIsFiftyEightBytes) {
    auto image = image_from({{kRed.kvz}});
    const Saved s = save(image.get(), options(20));
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.bytes.size(), 58u);
    EXPECT_EQ(s.bytes[0], 'B');
    EXPECT_EQ(s.bytes[1], 'M');
    EXPECT_EQ(le32(s.bytes, 2), 58u);   // file size
    EXPECT_EQ(le32(s.bytes, 6), 0u);    // reserved
    EXPECT_EQ(le32(s.bytes, 10), 54u);  // data offset
    EXPECT_EQ(le32(s.bytes, 14), 40u);  // header size
    EXPECT_EQ(le32(s.bytes, 18), 1u);   // width
    EXPECT_EQ(le32(s.bytes, 22), 1u);   // height, positive
    EXPECT_EQ(le16(s.bytes, 26), 1u);   // planes
    EXPECT_EQ(le16(s.bytes, 28), 24u);  // bits per pixel
    EXPECT_EQ(le32(s.bytes, 30), 0u);   // compression
    EXPECT_EQ(le32(s.bytes, 34), 4u);   // image size
    for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(le32(s.bytes, at), 0u) << at;
    EXPECT_EQ(s.bytes[54], 0);    // blue
    EXPECT_EQ(s.bytes[55], 0);    // green
    EXPECT_EQ(s.bytes[56], 255);  // red
    EXPECT_EQ(s.bytes[57], 0);    // padding
}

TEST_F(SpecialSizes, ThreeByTwoHighColourHasMasksAndPaddedRows) {
    auto image = kvzatest::make_image(3, 2);
    const Saved s = save(image.get(), options(23));
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(le32(s.bytes, 10), 66u);
    EXPECT_EQ(le32(s.bytes, 34), 16u);
    EXPECT_EQ(le32(s.bytes, 2), 82u);
    EXPECT_EQ(le32(s.bytes, 30), 3u);
    EXPECT_EQ(le32(s.bytes, 54), 0xf800u);
    EXPECT_EQ(le32(s.bytes, 58), 0x7e0u);
    EXPECT_EQ(le32(s.bytes, 62), 0x1fu);
    ASSERT_EQ(s.bytes.size(), 82u);
    // Rows of 6 pixel bytes and 2 zero bytes.
    for (size_t row = 0; row < 2; ++row) {
        EXPECT_EQ(s.bytes[66 + row * 8 + 6], 0);
        EXPECT_EQ(s.bytes[66 + row * 8 + 7], 0);
    }
}

TEST_F(SpecialSizes, TwoByTwoIndexEightHasTheFullPalette) {
    auto image = image_from({{kRed.kvz, kCyan.kvz}, {kWhite.kvz, kBlack.kvz}});
    const Saved s = save(image.get(), options(41));
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(le32(s.bytes, 10), 1078u);
    EXPECT_EQ(le32(s.bytes, 2), 1086u);
    EXPECT_EQ(le32(s.bytes, 34), 8u);
    EXPECT_EQ(le32(s.bytes, 46), 0u) << "colours used stays 0 with a palette";
    EXPECT_EQ(s.bytes.size(), 1086u);
}

TEST_F(SpecialSizes, TransparentRedWithoutMergeIsWrittenRed) {
    auto image = image_from({{with_alpha(kRed.kvz, 0.0f)}});
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    const Saved s = save(image.get(), options(20, kThreshold | kAlphaDither, 0, 256));
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.bytes.size(), 58u);
    EXPECT_EQ(s.bytes[54], 0);
    EXPECT_EQ(s.bytes[55], 0);
    EXPECT_EQ(s.bytes[56], 255);
}

// ------------------------------------------------------------ index layouts

class IndexBytes : public WriterTest {
  protected:
    // Unused palette entries keep what the image's palette held: light grey.
    static void fill_palette(KvzaImage *image) {
        for (KvzaPixel &p : image->palette) p = kLight.kvz;
    }
};

TEST_F(IndexBytes, OneBitTenWide) {
    const Colour R = kRed, C = kCyan;
    const std::vector<Colour> top = {R, C, C, R, R, R, C, C, R, C};
    const std::vector<Colour> bottom = {C, C, C, C, C, C, C, C, C, R};
    Rows rows(2);
    for (size_t x = 0; x < top.size(); ++x) {
        rows[0].push_back(top[x].kvz);
        rows[1].push_back(bottom[x].kvz);
    }
    auto image = image_from(rows);
    fill_palette(image.get());
    const Saved s = save(image.get(), options(202));
    ASSERT_EQ(s.status, 0);
    // Entries in order of first appearance, top row first: red 0, cyan 1.
    // Rows hold 10 bits: two bytes, then two padding bytes.
    const Bytes rows_bytes = {0b11111111, 0b10000000, 0, 0, 0b01100011, 0b01000000, 0, 0};
    EXPECT_EQ(s.bytes, bitmap(10, 2, 1, 0, {}, palette_of({0xff0000, 0x00ffff}), rows_bytes));
}

TEST_F(IndexBytes, OneBitFiveWideLeavesTheLowBitsZero) {
    auto image = image_from({{kWhite.kvz, kBlack.kvz, kWhite.kvz, kWhite.kvz, kWhite.kvz}});
    const Saved s = save(image.get(), options(202));
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.bytes.size(), 62u + 4u);
    // white 0, black 1: 0 1 0 0 0 -> 0b01000000, three padding bytes.
    EXPECT_EQ(s.bytes[62], 0b01000000);
    EXPECT_EQ(s.bytes[62] & 0x07, 0);
    EXPECT_EQ(s.bytes[63], 0);
    EXPECT_EQ(s.bytes[64], 0);
    EXPECT_EQ(s.bytes[65], 0);
    EXPECT_EQ(le32(s.bytes, 34), 4u);
}

TEST_F(IndexBytes, FourBitThreeWideHasAZeroLowNibble) {
    auto image =
        image_from({{kRed.kvz, kChartreuse.kvz, kViolet.kvz}, {kWhite.kvz, kBlack.kvz, kRed.kvz}});
    fill_palette(image.get());
    const Saved s = save(image.get(), options(212));
    ASSERT_EQ(s.status, 0);
    std::vector<uint32_t> entries = {palette_rgb(kRed), palette_rgb(kChartreuse),
                                     palette_rgb(kViolet), palette_rgb(kWhite),
                                     palette_rgb(kBlack)};
    while (entries.size() < 16) entries.push_back(0xbfbfbf);
    // Bottom row white 3, black 4, red 0; top row red 0, chartreuse 1, violet 2.
    const Bytes rows_bytes = {0x34, 0x00, 0, 0, 0x01, 0x20, 0, 0};
    EXPECT_EQ(s.bytes, bitmap(3, 2, 4, 0, {}, palette_of(entries), rows_bytes));
    // The optimised palette stays in the image, opaque.
    EXPECT_EQ(image->palette[0].c, 1.0f);
    EXPECT_EQ(image->palette[4].w, -1.0f);
    EXPECT_EQ(image->palette[4].a, 1.0f);
}

TEST_F(IndexBytes, EightBitWithPaletteAndOneIndexPerPixel) {
    const std::vector<Colour> colours = {kRed, kCyan, kChartreuse, kViolet, kWhite, kBlack, kGrey};
    Rows rows(1);
    for (const Colour &c : colours) rows[0].push_back(c.kvz);
    rows.push_back(
        {kGrey.kvz, kBlack.kvz, kWhite.kvz, kViolet.kvz, kChartreuse.kvz, kCyan.kvz, kRed.kvz});
    auto image = image_from(rows);
    fill_palette(image.get());
    const Saved s = save(image.get(), options(41));
    ASSERT_EQ(s.status, 0);
    std::vector<uint32_t> entries;
    for (const Colour &c : colours) entries.push_back(palette_rgb(c));
    while (entries.size() < 256) entries.push_back(0xbfbfbf);
    const Bytes rows_bytes = rows_of(8, {{6, 5, 4, 3, 2, 1, 0}, {0, 1, 2, 3, 4, 5, 6}});
    EXPECT_EQ(s.bytes, bitmap(7, 2, 8, 0, {}, palette_of(entries), rows_bytes));
}

// ------------------------------------------------------------ grey and alpha

// Whiteness values -1, -0.5, 0, 0.5, 1 are the grey values 0, 1/4, 1/2, 3/4, 1.
struct GreyCase {
    float w;
    uint32_t quarters;
};
constexpr GreyCase kGreys[] = {{-1.0f, 0}, {-0.5f, 1}, {0.0f, 2}, {0.5f, 3}, {1.0f, 4}};

class GreyAlphaBytes : public WriterTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(GreyAlphaBytes, FiveByTwoImage) {
    const Layout &l = GetParam();
    // Top row in increasing order, bottom row reversed. The grey layouts read
    // only the whiteness (the chroma and alpha set here are ignored), the
    // alpha layouts only the alpha (colour ignored).
    Rows rows(2);
    std::vector<std::vector<uint32_t>> values(2);
    for (int x = 0; x < 5; ++x) {
        const GreyCase &t = kGreys[x];
        const GreyCase &b = kGreys[4 - x];
        if (l.kind == Kind::Grey) {
            rows[0].push_back(KvzaPixel{0.1f, -0.1f, t.w, 0.25f * static_cast<float>(x)});
            rows[1].push_back(KvzaPixel{0.0f, 0.2f, b.w, 0.0f});
        } else {
            rows[0].push_back(with_alpha(kRed.kvz, 0.25f * static_cast<float>(t.quarters)));
            rows[1].push_back(KvzaPixel{0.0f, 0.0f, t.w, 0.25f * static_cast<float>(b.quarters)});
        }
        values[1].push_back(level(l.bits, t.quarters, 4));
        values[0].push_back(level(l.bits, b.quarters, 4));
    }
    auto image = image_from(rows);
    const Saved s = save(image.get(), options(l.id, kMerge | kThreshold));
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bytes, bitmap(5, 2, l.bits, 0, {}, ramp(l.entries), rows_of(l.bits, values)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, GreyAlphaBytes,
                         ::testing::Values(layout(50), layout(210), layout(200), layout(28),
                                           layout(211), layout(201)),
                         layout_name);

TEST(GreyLevels, HandWorkedCodes) {
    // The integer form of the quantisation against codes worked out by hand.
    EXPECT_EQ(level(8, 1, 1), 255u);
    EXPECT_EQ(level(8, 1, 2), 127u);  // 65535 / 2 = 32767.5 -> 32767 >> 8
    EXPECT_EQ(level(8, 3, 4), 191u);
    EXPECT_EQ(level(4, 1, 2), 7u);
    EXPECT_EQ(level(4, 1, 4), 3u);  // 4095 / 4 = 1023.75 -> 1023 >> 8
    EXPECT_EQ(level(1, 1, 2), 0u);  // 511 / 2 -> 255 >> 8
    EXPECT_EQ(level(1, 3, 4), 1u);
    EXPECT_EQ(level(5, 1, 1), 31u);
}

TEST_F(GreyAlphaBytes, AlphaEightWritesTheRampAndAlphaAsIndices) {
    auto image = image_from({{with_alpha(kWhite.kvz, 0.0f), with_alpha(kBlack.kvz, 1.0f),
                              with_alpha(kRed.kvz, 0.5f), with_alpha(kGrey.kvz, 0.75f)}});
    const Saved s = save(image.get(), options(28));
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.bytes.size(), 1078u + 4u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(s.bytes[54 + 4 * i], i);
        EXPECT_EQ(s.bytes[54 + 4 * i + 1], i);
        EXPECT_EQ(s.bytes[54 + 4 * i + 2], i);
        EXPECT_EQ(s.bytes[54 + 4 * i + 3], 0);
    }
    EXPECT_EQ(s.bytes[1078], 0);
    EXPECT_EQ(s.bytes[1079], 255);
    EXPECT_EQ(s.bytes[1080], 127);
    EXPECT_EQ(s.bytes[1081], 191);
}

TEST_F(GreyAlphaBytes, SixteenEntryRampSteps) {
    auto image = kvzatest::make_image(1, 1);
    const Saved s = save(image.get(), options(210));
    ASSERT_EQ(s.status, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(s.bytes[54 + 4 * i], 17 * i) << i;
    EXPECT_EQ(le32(s.bytes, 10), 54u + 64u);
    EXPECT_EQ(s.bytes.size(), 54u + 64u + 4u);
    EXPECT_EQ(s.bytes[118], 0x70) << "grey 0.5 is code 7 in the high nibble";
}

}  // namespace
