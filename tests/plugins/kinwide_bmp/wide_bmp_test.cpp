// The BMP module of the wide reader: kinbmp's pixels for every bitmap kinbmp
// opens, the later header forms with alpha masks, run-length data with its
// escapes and overruns, short colour tables and truncated files.
#include <gtest/gtest.h>

#include <cstring>

#include "image_block.h"
#include "kin_host.h"
#include "kin_samples.h"

using namespace kintest;

namespace {

const Reader &wide() {
    static Reader reader(WIDE_PLUGIN_DIR, "kinwide");
    return reader;
}
const Reader &kinbmp() {
    static Reader reader(KIN_PLUGIN_DIR, "kinbmp");
    return reader;
}

bool same_image(const Opened &a, const Opened &b) {
    return a.pixels == b.pixels && a.status == b.status && a.image && b.image &&
           std::memcmp(a.image.get(), b.image.get(),
                       KVZA_HEADER_BYTES + sizeof(KvzaPixel) * static_cast<size_t>(a.pixels)) == 0;
}

bool same_pixel(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A bitmap of the given header size; masks of headers of 52 bytes and more
// are written inside the header, the others after it.
Bytes bitmap(uint32_t header_size, uint32_t compression, uint16_t bpp, int32_t width,
             int32_t height, const std::vector<uint32_t> &masks, const Bytes &table,
             const Bytes &rows, uint32_t used = 0) {
    BmpSpec s;
    s.header_size = header_size;
    s.width = width;
    s.height = height;
    s.bpp = bpp;
    s.compression = compression;
    s.table = table;
    s.rows = rows;
    if (header_size < 52) s.masks = masks;
    Bytes b = build_bmp(s);
    if (header_size >= 40) {
        for (int i = 0; i < 4; ++i) b[46 + i] = static_cast<uint8_t>(used >> (8 * i));
    }
    if (header_size >= 52) {
        for (size_t m = 0; m < masks.size() && m < (header_size >= 56 ? 4U : 3U); ++m)
            for (int i = 0; i < 4; ++i)
                b[54 + 4 * m + i] = static_cast<uint8_t>(masks[m] >> (8 * i));
    }
    return b;
}

}  // namespace

class WideBmp : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(wide().ok()) << wide().error();
        ASSERT_TRUE(kinbmp().ok()) << kinbmp().error();
    }
};

TEST_F(WideBmp, BitmapSamplesGiveKinbmpPixels) {
    for (const Sample &s : bmp_samples()) {
        if (s.bytes[0] != 'B') continue;  // icons: the icon module
        const Opened by_bmp = open(kinbmp(), s.bytes);
        EXPECT_TRUE(same_image(open(wide(), s.bytes), by_bmp)) << s.name;
    }
}

// Two pixels 0x80FF4020 (a = 0x80) and 0x00102030 in every header form that
// carries an alpha mask; the forms without one stay opaque.
TEST_F(WideBmp, HeaderFormsKeepTheirAlpha) {
    const std::vector<uint32_t> rgba = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const Bytes rows = pack_rows(32, {{0x80FF4020, 0x00102030}});
    struct Case {
        uint32_t header, compression;
        std::vector<uint32_t> masks;
        bool alpha;
    };
    for (const Case &c : std::vector<Case>{{40, 0, {}, false},
                                           {40, 3, {0xFF0000, 0xFF00, 0xFF}, false},
                                           {40, 6, rgba, true},
                                           {52, 3, rgba, false},
                                           {56, 3, rgba, true},
                                           {108, 3, rgba, true},
                                           {124, 3, rgba, true},
                                           {124, 0, rgba, true},
                                           {124, 0, {0, 0, 0, 0}, false}}) {
        const Opened o = open(wide(), bitmap(c.header, c.compression, 32, 2, 1, c.masks, {}, rows));
        ASSERT_EQ(o.status, 0) << c.header << " " << c.compression;
        EXPECT_EQ(o.image->pixtype, c.alpha ? 21 : 22) << c.header << " " << c.compression;
        EXPECT_TRUE(
            same_pixel(kvzatest::at(o.image.get(), 0, 0),
                       kvz8(0xFF, 0x40, 0x20, c.alpha ? static_cast<float>(0x80 / 255.0) : 1.0f)))
            << c.header << " " << c.compression;
        EXPECT_FLOAT_EQ(kvzatest::at(o.image.get(), 1, 0).a, c.alpha ? 0.0f : 1.0f);
    }
}

// Run-length data of a 4 x 2 image; -1 is a pixel left transparent.
TEST_F(WideBmp, RunLengthEscapesAndOverruns) {
    const Bytes table = colour_table({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, 4);
    struct Case {
        const char *name;
        uint32_t compression;
        Bytes data;
        int32_t status;
        std::vector<int> pixels;  // top row first
    };
    const std::vector<Case> cases = {
        {"runs", 1, {4, 1, 0, 0, 2, 2, 2, 3, 0, 1}, 0, {2, 2, 3, 3, 1, 1, 1, 1}},
        {"absolute", 1, {0, 4, 1, 2, 3, 1, 0, 0, 4, 2, 0, 1}, 0, {2, 2, 2, 2, 1, 2, 3, 1}},
        {"odd absolute padded",
         1,
         {0, 3, 3, 2, 1, 0, 1, 1, 0, 0, 0, 1},
         0,
         {-1, -1, -1, -1, 3, 2, 1, 1}},
        {"delta", 1, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, 0, {-1, -1, -1, 3, 1, -1, -1, -1}},
        {"early end of line", 1, {1, 1, 0, 0, 2, 2, 0, 1}, 0, {2, 2, -1, -1, 1, -1, -1, -1}},
        {"early end of bitmap", 1, {3, 3, 0, 1}, 0, {-1, -1, -1, -1, 3, 3, 3, -1}},
        {"run past the row", 1, {5, 1, 0, 1}, 1, {-1, -1, -1, -1, 1, 1, 1, 1}},
        {"absolute past the row", 1, {2, 1, 0, 3, 2, 2, 2, 0}, 1, {-1, -1, -1, -1, 1, 1, 2, 2}},
        {"delta past the image", 1, {0, 2, 0, 5, 1, 1, 0, 1}, 1, {-1, -1, -1, -1, -1, -1, -1, -1}},
        {"data ends early", 1, {2, 1}, 1, {-1, -1, -1, -1, 1, 1, -1, -1}},
        {"4-bit runs", 2, {4, 0x12, 0, 0, 3, 0x30, 0, 1}, 0, {3, 0, 3, -1, 1, 2, 1, 2}},
        {"4-bit absolute", 2, {0, 3, 0x12, 0x30, 0, 0, 0, 1}, 0, {-1, -1, -1, -1, 1, 2, 3, -1}},
    };
    for (const Case &c : cases) {
        const Bytes file =
            bitmap(40, c.compression, c.compression == 1 ? 8 : 4, 4, 2, {}, table, c.data, 4);
        const Opened o = open(wide(), file);
        ASSERT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.image->pixtype, c.compression == 1 ? 41 : 212) << c.name;
        for (int i = 0; i < 8; ++i) {
            const KvzaPixel &p = kvzatest::at(o.image.get(), i % 4, i / 4);
            if (c.pixels[i] < 0)
                EXPECT_EQ(p.a, 0.0f) << c.name << " pixel " << i;
            else
                EXPECT_TRUE(same_pixel(p, o.image->palette[c.pixels[i]])) << c.name << " " << i;
        }
    }
}

TEST_F(WideBmp, ImpossibleHeadersAreRefused) {
    const Bytes table = colour_table({0, 0xFFFFFF}, 4);
    int32_t w, h;
    const std::vector<Bytes> files = {
        bitmap(40, 1, 8, 4, -2, {}, table, {8, 1, 0, 1}),         // top-down run-length
        bitmap(40, 2, 8, 4, 2, {}, table, {8, 1, 0, 1}),          // RLE4 of 8-bit data
        bitmap(40, 1, 8, 1000, 1000, {}, table, {255, 1, 0, 1}),  // more than the data fills
        bitmap(40, 0, 24, 1000, 1000, {}, {}, pattern(300, 1)),   // rows outside the file
        bitmap(40, 7, 24, 1, 1, {}, {}, {1, 2, 3, 0}),            // unknown compression
        bitmap(20, 0, 24, 1, 1, {}, {}, {1, 2, 3, 0}),            // unknown header size
    };
    for (size_t i = 0; i < files.size(); ++i) {
        TempFile f(files[i]);
        EXPECT_EQ(wide().pixs(f.path(), 0, &w, &h), 0) << i;
    }
}

// Indices past a short colour table are transparent black.
TEST_F(WideBmp, ShortColourTable) {
    const Bytes file =
        bitmap(40, 0, 8, 3, 1, {}, colour_table({0xFF0000, 0x00FF00}, 4), {0, 1, 2, 0}, 2);
    const Opened o = open(wide(), file);
    ASSERT_EQ(o.status, 0);
    EXPECT_TRUE(same_pixel(kvzatest::at(o.image.get(), 1, 0), kvz8(0, 0xFF, 0)));
    EXPECT_EQ(kvzatest::at(o.image.get(), 2, 0).a, 0.0f);
}

// Every shorter length of small files opens or is refused without harm.
TEST_F(WideBmp, TruncationSweep) {
    const std::vector<Bytes> files = {
        bitmap(124, 3, 32, 2, 2, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}, pattern(16, 3)),
        bitmap(40, 1, 8, 4, 2, {}, colour_table({0, 0xFF}, 4), {4, 1, 0, 2, 1, 1, 0, 0, 4, 0}),
        bitmap(12, 0, 4, 3, 2, {}, colour_table({0, 0xFF, 0xFF00}, 3), pattern(8, 2)),
    };
    for (const Bytes &full : files) {
        for (size_t n = 0; n < full.size(); ++n) {
            const Opened o = open(wide(), Bytes(full.begin(), full.begin() + n));
            EXPECT_TRUE(o.status == -1 || o.status == 0 || o.status == 1) << n;
        }
    }
}
