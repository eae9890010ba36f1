// Contract records, option tables, the pixel-type list and the table copy.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>

#include "pixtypes.h"
#include "wc_test_util.h"
#include "writer_common.h"

extern "C" {
size_t kot_c_sizeof_table(void);
size_t kot_c_offsetof_usable(void);
size_t kot_c_offsetof_track(void);
size_t kot_c_sizeof_options(void);
}

namespace {

constexpr int16_t kBmpIds[] = {20,  22,  23,  24,  28,  30,  41,  50,
                               190, 191, 200, 201, 202, 210, 211, 212};
constexpr int16_t kTgaIds[] = {20, 21, 25, 41, 50, 81};

std::set<int> usable_ids(const KotUsableTable &t) {
    std::set<int> ids;
    for (int n = 0; n < 256; ++n)
        if ((t.usable[n / 8] >> (n % 8)) & 1) ids.insert(n);
    return ids;
}

void expect_track(const KotTrackSpec &t, const char *name, const char *hint, int min, int max,
                  int frequency, int line, int page, int position) {
    ASSERT_NE(t.name, nullptr);
    ASSERT_NE(t.hint, nullptr);
    EXPECT_STREQ(t.name, name);
    EXPECT_STREQ(t.hint, hint);
    EXPECT_EQ(t.min, min);
    EXPECT_EQ(t.max, max);
    EXPECT_EQ(t.frequency, frequency);
    EXPECT_EQ(t.line_size, line);
    EXPECT_EQ(t.page_size, page);
    EXPECT_EQ(t.position, position);
}

}  // namespace

TEST(ContractLayout, TableIs424BytesWithNaturalAlignment) {
    EXPECT_EQ(KOT_USABLE_TABLE_SIZE, 424);
    EXPECT_EQ(sizeof(KotUsableTable), 424u);
    EXPECT_EQ(offsetof(KotUsableTable, track_count), 0u);
    EXPECT_EQ(offsetof(KotUsableTable, switch_mask), 2u);
    EXPECT_EQ(offsetof(KotUsableTable, switch_defaults), 4u);
    EXPECT_EQ(offsetof(KotUsableTable, switch_name), 8u);
    EXPECT_EQ(offsetof(KotUsableTable, switch_hint), 8u + 16 * 8);
    EXPECT_EQ(offsetof(KotUsableTable, track), 8u + 32 * 8);
    EXPECT_EQ(offsetof(KotUsableTable, usable), 8u + 32 * 8 + 4 * 32);
    EXPECT_EQ(sizeof(KotTrackSpec), 32u);
    EXPECT_EQ(offsetof(KotTrackSpec, hint), 8u);
    EXPECT_EQ(offsetof(KotTrackSpec, min), 16u);
    EXPECT_EQ(offsetof(KotTrackSpec, position), 26u);
}

TEST(ContractLayout, SaveOptionsFields) {
    EXPECT_EQ(offsetof(KotSaveOptions, type), 0u);
    EXPECT_EQ(offsetof(KotSaveOptions, switches), 2u);
    EXPECT_EQ(offsetof(KotSaveOptions, valid), 4u);
    EXPECT_EQ(offsetof(KotSaveOptions, track), 6u);
    EXPECT_EQ(sizeof(KotSaveOptions), 14u);
}

TEST(ContractLayout, CAndCppAgree) {
    EXPECT_EQ(kot_c_sizeof_table(), sizeof(KotUsableTable));
    EXPECT_EQ(kot_c_offsetof_usable(), offsetof(KotUsableTable, usable));
    EXPECT_EQ(kot_c_offsetof_track(), offsetof(KotUsableTable, track));
    EXPECT_EQ(kot_c_sizeof_options(), sizeof(KotSaveOptions));
}

TEST(OptionTable, BmpAndIcoTable) {
    KotUsableTable t;
    std::memset(&t, 0x5a, sizeof t);  // the fill must zero everything it does not set
    kot::fill_alpha_option_table(&t, kBmpIds);
    EXPECT_EQ(t.track_count, 2);
    EXPECT_EQ(t.switch_mask, 7);
    EXPECT_EQ(t.switch_defaults, 0);
    EXPECT_STREQ(t.switch_name[0], "Merge to background");
    EXPECT_STREQ(t.switch_hint[0], "背景色を混ぜ合わせる");
    EXPECT_STREQ(t.switch_name[1], "'Alpha Threshold' enable");
    EXPECT_STREQ(t.switch_hint[1], "'Alpha Threshold'を有効にする");
    EXPECT_STREQ(t.switch_name[2], "Alpha dithering");
    EXPECT_STREQ(t.switch_hint[2], "アルファもディザ対象とする");
    for (int i = 3; i < 16; ++i) {
        EXPECT_EQ(t.switch_name[i], nullptr) << i;
        EXPECT_EQ(t.switch_hint[i], nullptr) << i;
    }
    expect_track(t.track[0], "Dither", "ディザ(中間色表現)の強さ", 0, 256, 16, 1, 16, 128);
    expect_track(t.track[1], "Alpha Threshold", "透過/非透過を区別するアルファの閾値", 0, 256, 16,
                 1, 16, 128);
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(t.track[i].name, nullptr);
        EXPECT_EQ(t.track[i].max, 0);
    }
    EXPECT_EQ(usable_ids(t), std::set<int>(std::begin(kBmpIds), std::end(kBmpIds)));
    // Bit n mod 8 of byte n div 8: id 20 is bit 4 of byte 2, id 191 bit 7 of byte 23.
    EXPECT_EQ(t.usable[2] & 0x10, 0x10);
    EXPECT_EQ(t.usable[23] & 0x80, 0x80);
}

TEST(OptionTable, TgaTable) {
    KotUsableTable t;
    std::memset(&t, 0x5a, sizeof t);
    kot::fill_palette_depth_table(&t, kTgaIds);
    EXPECT_EQ(t.track_count, 2);
    EXPECT_EQ(t.switch_mask, 0);
    EXPECT_EQ(t.switch_defaults, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.switch_name[i], nullptr);
    expect_track(t.track[0], "Dither", "ディザ(中間色表現)の強さ", 0, 256, 16, 1, 16, 128);
    expect_track(t.track[1], "Palette Depth", "パレットの情報量", 2, 4, 1, 1, 2, 4);
    EXPECT_EQ(usable_ids(t), (std::set<int>{20, 21, 25, 41, 50, 81}));
}

TEST(OptionTable, UsableSetIgnoresIdsOutsideTheByteRange) {
    KotUsableTable t{};
    kot::set_usable(&t, -1);
    kot::set_usable(&t, 256);
    kot::set_usable(&t, 255);
    kot::set_usable(&t, 0);
    EXPECT_EQ(usable_ids(t), (std::set<int>{0, 255}));
    EXPECT_TRUE(kot::is_usable(&t, 255));
    EXPECT_FALSE(kot::is_usable(&t, 254));
    EXPECT_FALSE(kot::is_usable(&t, 256));
    EXPECT_FALSE(kot::is_usable(&t, -32768));
    EXPECT_FALSE(kot::is_usable(nullptr, 0));
}

TEST(CopyTable, RefusesSmallBuffersAndNullArguments) {
    KotUsableTable table;
    kot::fill_alpha_option_table(&table, kBmpIds);
    auto image = kvzatest::make_image(1, 1);
    std::vector<uint8_t> buffer(500, 0xab);
    auto *out = reinterpret_cast<KotUsableTable *>(buffer.data());
    EXPECT_EQ(kot::copy_table(out, 423, image.get(), &table), KOT_FAILED);
    EXPECT_EQ(kot::copy_table(out, 424, nullptr, &table), KOT_FAILED);
    EXPECT_EQ(kot::copy_table(nullptr, 424, image.get(), &table), KOT_FAILED);
    EXPECT_EQ(kot::copy_table(out, 424, image.get(), nullptr), KOT_FAILED);
    for (uint8_t b : buffer) ASSERT_EQ(b, 0xab);
}

TEST(CopyTable, CopiesExactly424Bytes) {
    KotUsableTable table;
    kot::fill_palette_depth_table(&table, kTgaIds);
    auto image = kvzatest::make_image(1, 1);
    std::vector<uint8_t> buffer(500, 0xab);
    auto *out = reinterpret_cast<KotUsableTable *>(buffer.data());
    EXPECT_EQ(kot::copy_table(out, 500, image.get(), &table), KOT_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), &table, 424), 0);
    for (size_t i = 424; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xab) << i;
    std::fill(buffer.begin(), buffer.end(), 0xab);
    EXPECT_EQ(kot::copy_table(out, 424, image.get(), &table), KOT_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), &table, 424), 0);
}

TEST(WriterTable, BuiltOnceAndReturnedUnchanged) {
    static kot::WriterTable holder(kot::TableKind::AlphaOptions, kBmpIds);
    KotUsableTable *first = holder.get();
    KotUsableTable snapshot;
    std::memcpy(&snapshot, first, sizeof snapshot);
    KotUsableTable *second = holder.get();
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::memcmp(&snapshot, second, sizeof snapshot), 0);
    EXPECT_STREQ(first->track[1].name, "Alpha Threshold");

    static kot::WriterTable tga(kot::TableKind::PaletteDepth, kTgaIds);
    EXPECT_STREQ(tga.get()->track[1].name, "Palette Depth");
    KotUsableTable copy{};
    auto image = kvzatest::make_image(2, 2);
    EXPECT_EQ(tga.copy_to(&copy, sizeof copy, image.get()), KOT_OK);
    EXPECT_EQ(std::memcmp(&copy, tga.get(), sizeof copy), 0);
    EXPECT_EQ(tga.copy_to(&copy, sizeof copy - 1, image.get()), KOT_FAILED);
}

// ---- pixel-type ids

TEST(PixTypes, SeventyThreeUniqueIdsInDialogOrder) {
    // The save dialog's order, group by group.
    const int expected[] = {
        254, 199, 116, 113, 115, 112, 114, 111,                      // native and float
        198, 36,  197, 196, 191, 34,  35,  31,  190,                 // deep colour
        21,  32,  22,  33,  225, 224, 20,                            // true colour
        23,  223, 25,  24,  26,  30,  29,  27,  195, 194, 193, 192,  // high and low colour
        40,  222, 41,  213, 221, 212, 209, 220, 207, 204, 202,       // indexed
        215, 219, 81,  51,  218, 50,  52,  217, 210, 208, 216, 205, 203, 200,  // grey
        214, 28,  211, 206, 201,                                               // alpha only
        240, 241, 242, 243, 244, 245, 246,                                     // other
    };
    ASSERT_EQ(std::size(expected), 73u);
    ASSERT_EQ(kot::kPixTypes.size(), 73u);
    std::set<int> seen;
    for (size_t i = 0; i < 73; ++i) {
        EXPECT_EQ(kot::kPixTypes[i].id, expected[i]) << i;
        EXPECT_TRUE(seen.insert(kot::kPixTypes[i].id).second) << kot::kPixTypes[i].id;
        EXPECT_EQ(kot::pixtype_index(expected[i]), static_cast<int>(i));
    }
}

TEST(PixTypes, Captions) {
    EXPECT_STREQ(kot::pixtype_caption(254), "KVZA direct");
    EXPECT_STREQ(kot::pixtype_caption(20), "RGB 24bit");
    EXPECT_STREQ(kot::pixtype_caption(225), "RGB 24bit(+1bit alpha,+8bit dummy)");
    EXPECT_STREQ(kot::pixtype_caption(223), "RGB 15bit(+1bit alpha,+1bit dummy)");
    EXPECT_STREQ(kot::pixtype_caption(191), "RGB 32bit");
    EXPECT_STREQ(kot::pixtype_caption(41), "Index 8bit");
    EXPECT_STREQ(kot::pixtype_caption(81), "Grayscale 16bit");
    EXPECT_STREQ(kot::pixtype_caption(215), "Grayscale 16bit(+16bit alpha)");
    EXPECT_STREQ(kot::pixtype_caption(201), "Alpha 1bit");
    EXPECT_STREQ(kot::pixtype_caption(199), "ARGB 128bit floatpointed");
    EXPECT_STREQ(kot::pixtype_caption(246), "Compressed type 5 for DX");
    EXPECT_EQ(kot::pixtype_caption(0), nullptr);
    EXPECT_EQ(kot::pixtype_caption(255), nullptr);
    EXPECT_EQ(kot::pixtype_index(-1), -1);
    static_assert(kot::pixtype_index(240) == 66, "usable in constant expressions");
}

TEST(PixTypes, EveryWriterIdHasACaption) {
    const int writer_ids[] = {20,  22,  23,  24,  28,  30,  41,  50,  190, 191, 200, 201, 202,
                              210, 211, 212, 204, 221, 222, 223, 224, 225, 21,  25,  81};
    for (int id : writer_ids) EXPECT_NE(kot::pixtype_caption(id), nullptr) << id;
}
