// The option table the BMP writer offers, through its two table exports.
#include <cstring>
#include <set>
#include <string>

#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

class Table : public WriterTest {};

std::string str(const char *s) {
    return s == nullptr ? std::string("(null)") : std::string(s);
}

void expect_track(const KotTrackSpec &t, const char *name, const char *hint, int min, int max,
                  int frequency, int line, int page, int position) {
    EXPECT_EQ(str(t.name), name);
    EXPECT_EQ(str(t.hint), hint);
    EXPECT_EQ(t.min, min);
    EXPECT_EQ(t.max, max);
    EXPECT_EQ(t.frequency, frequency);
    EXPECT_EQ(t.line_size, line);
    EXPECT_EQ(t.page_size, page);
    EXPECT_EQ(t.position, position);
}

}  // namespace

TEST_F(Table, TracksAndSwitchesOfTheAlphaOptions) {
    const KotUsableTable *t = writer().table();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->track_count, 2);
    expect_track(t->track[0], "Dither", "ディザ(中間色表現)の強さ", 0, 256, 16, 1, 16, 128);
    expect_track(t->track[1], "Alpha Threshold", "透過/非透過を区別するアルファの閾値", 0, 256, 16,
                 1, 16, 128);
    EXPECT_EQ(t->switch_mask, 7);
    EXPECT_EQ(t->switch_defaults, 0);
    EXPECT_EQ(str(t->switch_name[0]), "Merge to background");
    EXPECT_EQ(str(t->switch_hint[0]), "背景色を混ぜ合わせる");
    EXPECT_EQ(str(t->switch_name[1]), "'Alpha Threshold' enable");
    EXPECT_EQ(str(t->switch_hint[1]), "'Alpha Threshold'を有効にする");
    EXPECT_EQ(str(t->switch_name[2]), "Alpha dithering");
    EXPECT_EQ(str(t->switch_hint[2]), "アルファもディザ対象とする");
    // The rest of the table is zero-filled.
    for (int i = 3; i < KOT_MAX_SWITCHES; ++i) {
        EXPECT_EQ(t->switch_name[i], nullptr) << i;
        EXPECT_EQ(t->switch_hint[i], nullptr) << i;
    }
    const KotTrackSpec zero{};
    for (int i = 2; i < KOT_MAX_TRACKS; ++i)
        EXPECT_EQ(std::memcmp(&t->track[i], &zero, sizeof zero), 0) << i;
}

TEST_F(Table, UsableSetIsExactlyTheSeventeenLayouts) {
    const KotUsableTable *t = writer().table();
    const std::set<int> ids = {20,  21,  22,  23,  24,  28,  30,  41, 50,
                               190, 191, 200, 201, 202, 210, 211, 212};
    for (int id = 0; id < 256; ++id) {
        const bool usable = (t->usable[id / 8] >> (id % 8)) & 1;
        EXPECT_EQ(usable, ids.count(id) == 1) << "id " << id;
    }
    // Spot checks of the bit order: id 20 is bit 4 of byte 2; id 41 bit 1 of byte 5.
    EXPECT_TRUE(t->usable[2] & 0x10);
    EXPECT_TRUE(t->usable[5] & 0x02);
    EXPECT_FALSE((t->usable[254 / 8] >> (254 % 8)) & 1) << "no writer offers KVZA direct";
}

TEST_F(Table, RepeatedCallsReturnTheSameUnchangedTable) {
    KotUsableTable *first = writer().table();
    KotUsableTable copy;
    std::memcpy(&copy, first, sizeof copy);
    KotUsableTable *second = writer().table();
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::memcmp(&copy, second, sizeof copy), 0);
}

TEST_F(Table, CopyForAnImageIsTheWholeTable) {
    auto image = kvzatest::make_image(2, 2);
    // A buffer larger than the table: exactly the table's bytes are written.
    uint8_t buffer[KOT_USABLE_TABLE_SIZE + 16];
    std::memset(buffer, 0xA5, sizeof buffer);
    EXPECT_EQ(
        writer().table_img(reinterpret_cast<KotUsableTable *>(buffer), sizeof buffer, image.get()),
        0);
    EXPECT_EQ(std::memcmp(buffer, writer().table(), KOT_USABLE_TABLE_SIZE), 0);
    for (size_t i = KOT_USABLE_TABLE_SIZE; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xA5) << i;

    KotUsableTable exact;
    std::memset(&exact, 0, sizeof exact);
    EXPECT_EQ(writer().table_img(&exact, KOT_USABLE_TABLE_SIZE, image.get()), 0);
    EXPECT_EQ(std::memcmp(&exact, writer().table(), sizeof exact), 0);
}

TEST_F(Table, CopyRefusesShortBufferAndMissingArguments) {
    auto image = kvzatest::make_image(1, 1);
    uint8_t buffer[KOT_USABLE_TABLE_SIZE];
    std::memset(buffer, 0x5A, sizeof buffer);
    auto *table = reinterpret_cast<KotUsableTable *>(buffer);
    EXPECT_EQ(KOT_USABLE_TABLE_SIZE, 424);
    EXPECT_EQ(writer().table_img(table, KOT_USABLE_TABLE_SIZE - 1, image.get()), 1);
    EXPECT_EQ(writer().table_img(table, 0, image.get()), 1);
    EXPECT_EQ(writer().table_img(table, KOT_USABLE_TABLE_SIZE, nullptr), 1);
    EXPECT_EQ(writer().table_img(nullptr, KOT_USABLE_TABLE_SIZE, image.get()), 1);
    for (uint8_t b : buffer) ASSERT_EQ(b, 0x5A) << "a refused copy leaves the buffer untouched";
}
