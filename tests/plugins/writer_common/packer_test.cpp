// Row packers: exact bytes, bit order, padding, progress, cancel and short writes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "wc_test_util.h"
#include "writer_common.h"

using kvzatest::at;
using kvzatest::make_image;
using wctest::grey;
using wctest::kDitherBlock;
using wctest::options;
using Bytes = std::vector<uint8_t>;

namespace {

using Packer = std::function<int32_t(kot::FileWriter &)>;

struct Packed {
    int32_t status;
    Bytes bytes;
};

// Runs a packer into a fresh file and returns its status and the file's bytes.
Packed pack_to_file(const std::string &name, const Packer &pack) {
    wctest::TempPath path(name);
    kot::FileWriter out;
    EXPECT_TRUE(out.open(path.c_str()));
    const int32_t status = pack(out);
    EXPECT_TRUE(out.close());
    return {status, path.bytes()};
}

const KvzaPixel kBlack = grey(-1.0f);
const KvzaPixel kWhite = grey(1.0f);

// Palette of n distinct greys from black to white.
void grey_palette(KvzaImage *image, int n) {
    for (int k = 0; k < n; ++k) image->palette[k] = grey(-1.0f + 2.0f * k / (n - 1));
}

}  // namespace

TEST(IndexPacker, OneBitMostSignificantFirstBottomRowFirst) {
    auto image = make_image(10, 2);
    image->palette[0] = kBlack;
    image->palette[1] = kWhite;
    const int top[10] = {1, 0, 1, 1, 0, 0, 0, 1, 1, 0};
    const int bottom[10] = {0, 1, 0, 0, 0, 0, 1, 1, 0, 1};
    for (int x = 0; x < 10; ++x) {
        at(image.get(), x, 0) = top[x] ? kWhite : kBlack;
        at(image.get(), x, 1) = bottom[x] ? kWhite : kBlack;
    }
    // Alpha plays no part in the index match.
    at(image.get(), 9, 1) = grey(1.0f, 0.0f);
    const KotSaveOptions o = options(202, 0, 128);
    const Packed p = pack_to_file("idx1", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &o, nullptr, 1);
    });
    EXPECT_EQ(p.status, KOT_OK);
    // Row y = 1: 01000011 01000000, then y = 0: 10110001 10000000; each padded to 4.
    EXPECT_EQ(p.bytes, (Bytes{0x43, 0x40, 0, 0, 0xb1, 0x80, 0, 0}));
}

TEST(IndexPacker, FourBitOddWidthLeavesLowNibbleZero) {
    auto image = make_image(3, 2);
    grey_palette(image.get(), 16);
    const int rows[2][3] = {{3, 10, 15}, {0, 7, 12}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) at(image.get(), x, y) = image->palette[rows[y][x]];
    const KotSaveOptions o = options(212, 0, 128);
    const Packed p = pack_to_file("idx4", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &o, nullptr, 4);
    });
    EXPECT_EQ(p.status, KOT_OK);
    EXPECT_EQ(p.bytes, (Bytes{0x07, 0xc0, 0, 0, 0x3a, 0xf0, 0, 0}));
}

TEST(IndexPacker, EightBitOneBytePerPixel) {
    auto image = make_image(5, 1);
    grey_palette(image.get(), 256);
    const int idx[5] = {0, 200, 255, 17, 128};
    for (int x = 0; x < 5; ++x) at(image.get(), x, 0) = image->palette[idx[x]];
    const KotSaveOptions o = options(41, 0, 256);
    const Packed p = pack_to_file("idx8", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &o, nullptr, 8);
    });
    EXPECT_EQ(p.status, KOT_OK);
    EXPECT_EQ(p.bytes, (Bytes{0, 200, 255, 17, 128, 0, 0, 0}));
}

TEST(IndexPacker, DithersBetweenTheTwoNearestByPosition) {
    // w = 0.1 lies at squared distance 0.81 from white and 1.21 from black:
    // r = 0.81 / 2.02 x 256 = 102, so black (the second) where the table byte
    // is below 102. Without dither strength every pixel takes white.
    auto image = make_image(8, 8);
    image->palette[0] = kBlack;
    image->palette[1] = kWhite;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) at(image.get(), x, y) = grey(0.1f);
    const KotSaveOptions dithered = options(202, 0, 256);
    const KotSaveOptions flat = options(202, 0, 0);
    const Packed p = pack_to_file("idxdit", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &dithered, nullptr, 1);
    });
    const Packed q = pack_to_file("idxflat", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &flat, nullptr, 1);
    });
    Bytes expected, white;
    for (int y = 7; y >= 0; --y) {
        unsigned row = 0;
        for (int x = 0; x < 8; ++x) row = (row << 1) | (kDitherBlock[y][x] < 102 ? 0u : 1u);
        const Bytes padded_row = {static_cast<uint8_t>(row), 0, 0, 0};
        expected.insert(expected.end(), padded_row.begin(), padded_row.end());
        white.insert(white.end(), {0xff, 0, 0, 0});
    }
    EXPECT_EQ(p.bytes, expected);
    EXPECT_EQ(q.bytes, white);
}

TEST(GreyPacker, EightFourAndOneBit) {
    auto image = make_image(9, 1);
    const float w[9] = {1.0f, -1.0f, 0.0f, 0.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f};
    for (int x = 0; x < 9; ++x) at(image.get(), x, 0) = grey(w[x], 0.0f);
    const KotSaveOptions o = options(50, 0, 0);
    // 8 bits: white 255, black 0, mid grey 65535 x 0.5 -> 127; 9 bytes + 3 padding.
    const Packed p8 = pack_to_file("grey8", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 8);
    });
    EXPECT_EQ(p8.bytes, (Bytes{255, 0, 127, 127, 255, 0, 0, 255, 255, 0, 0, 0}));
    // 4 bits: 15, 0, 7 (4095 x 0.5 -> 2047 -> 7); 5 bytes, the last with a zero low nibble.
    const Packed p4 = pack_to_file("grey4", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 4);
    });
    EXPECT_EQ(p4.bytes, (Bytes{0xf0, 0x77, 0xf0, 0x0f, 0xf0, 0, 0, 0}));
    // 1 bit: mid grey is 0 (511 x 0.5 -> 255 -> 0): 10001001 1.......
    const Packed p1 = pack_to_file("grey1", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 1);
    });
    EXPECT_EQ(p1.bytes, (Bytes{0x89, 0x80, 0, 0}));
}

TEST(GreyPacker, WhitenessOutsideTheSolidIsLimited) {
    // Whiteness beyond -1..1 must not wrap into a wrong grey or spill into the
    // neighbouring pixels of a packed byte.
    auto image = make_image(3, 1);
    at(image.get(), 0, 0) = grey(1.5f);
    at(image.get(), 1, 0) = grey(-3.0f);
    at(image.get(), 2, 0) = grey(std::nanf(""));
    const KotSaveOptions o = options(50, 0, 256);
    const Packed p8 = pack_to_file("greyclip8", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 8);
    });
    EXPECT_EQ(p8.bytes, (Bytes{255, 0, 0, 0}));
    const Packed p1 = pack_to_file("greyclip1", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 1);
    });
    EXPECT_EQ(p1.bytes, (Bytes{0x80, 0, 0, 0}));
}

TEST(GreyPacker, DitherFollowsThePixelPosition) {
    // Grey 127 + fraction 128 at full strength: 128 where the table byte is
    // below 128, else 127. The bottom row (y = 1) comes first.
    const float v = 32640.5f / 65535.0f;
    auto image = make_image(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) at(image.get(), x, y) = grey(2.0f * v - 1.0f);
    const KotSaveOptions o = options(50, 0, 256);
    const Packed p = pack_to_file("greydit", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, nullptr, 8);
    });
    Bytes expected;
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 3; ++x) expected.push_back(kDitherBlock[y][x] < 128 ? 128 : 127);
        expected.push_back(0);
    }
    EXPECT_EQ(p.bytes, expected);
}

TEST(AlphaPacker, EightFourAndOneBit) {
    auto image = make_image(4, 1);
    const float a[4] = {1.0f, 0.0f, 0.75f, 0.4f};
    for (int x = 0; x < 4; ++x) at(image.get(), x, 0) = grey(0.3f, a[x]);
    const KotSaveOptions o = options(28, 0, 0);
    // 8 bits: 65535 x 0.75 -> 191; 0.4 -> 26214 -> 102.
    const Packed p8 = pack_to_file("alpha8", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, nullptr, 8);
    });
    EXPECT_EQ(p8.bytes, (Bytes{255, 0, 191, 102}));
    // 4 bits: 4095 x 0.75 -> 3071 -> 11; 0.4 -> 1638 -> 6.
    const Packed p4 = pack_to_file("alpha4", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, nullptr, 4);
    });
    EXPECT_EQ(p4.bytes, (Bytes{0xf0, 0xb6, 0, 0}));
    // 1 bit: 511 x 0.75 -> 383 -> 1; 0.4 -> 204 -> 0.
    const Packed p1 = pack_to_file("alpha1", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, nullptr, 1);
    });
    EXPECT_EQ(p1.bytes, (Bytes{0xa0, 0, 0, 0}));
}

TEST(AlphaPacker, AlphaOutsideZeroToOneIsLimited) {
    // The library allows alpha down to -1; a negative alpha is fully
    // transparent, not a wrapped-around opaque value.
    auto image = make_image(2, 1);
    at(image.get(), 0, 0) = grey(0.0f, -0.5f);
    at(image.get(), 1, 0) = grey(0.0f, 1.2f);
    const KotSaveOptions o = options(28, 0, 128);
    const Packed p8 = pack_to_file("alphaclip8", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, nullptr, 8);
    });
    EXPECT_EQ(p8.bytes, (Bytes{0, 255, 0, 0}));
    const Packed p4 = pack_to_file("alphaclip4", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, nullptr, 4);
    });
    EXPECT_EQ(p4.bytes, (Bytes{0x0f, 0, 0, 0}));
}

namespace {

struct RgbCase {
    int id;
    int bytes;
    uint32_t p;  // word of (1, 0.5, 0)
    uint32_t q;  // word of (0, 0.25, 1)
};

// Channel values worked out by hand: 0.5 -> 127 (8 bits), 15 (5), 31 (6),
// 7 (4), 511 (10), 1023 (11); 0.25 -> 63 (8), 7 (5), 15 (6), 3 (4), 255 (10),
// 511 (11). Each product lies a quarter or half step inside its integer.
// clang-format off
const RgbCase kRgbCases[] = {
    {20,  3, 0xff7f00,   0x003fff},    // bytes blue, green, red
    {224, 3, 0xff7f00,   0x003fff},
    {22,  4, 0xff7f00,   0x003fff},    // R<<16 | G<<8 | B, top byte 0
    {225, 4, 0xff7f00,   0x003fff},
    {23,  2, 0xfbe0,     0x01ff},      // 31<<11 | 31<<5 ; 15<<5 | 31
    {24,  2, 0x7de0,     0x00ff},      // 31<<10 | 15<<5 ; 7<<5 | 31
    {223, 2, 0x7de0,     0x00ff},
    {30,  2, 0x0f70,     0x003f},      // 15<<8 | 7<<4 ; 3<<4 | 15
    {190, 4, 0x3ff7fc00, 0x0003ffff},  // 1023<<20 | 511<<10 ; 255<<10 | 1023
    {191, 4, 0xffeffc00, 0x0007ffff},  // 2047<<21 | 1023<<10 ; 511<<10 | 1023
};
// clang-format on

}  // namespace

TEST(RgbPacker, WordsOfEveryLayout) {
    const KvzaPixel p = wctest::from_rgba(1.0f, 0.5f, 0.0f, 1.0f);
    const KvzaPixel q = wctest::from_rgba(0.0f, 0.25f, 1.0f, 0.0f);
    auto image = make_image(3, 2);
    const KvzaPixel rows[2][3] = {{p, q, p}, {q, q, p}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) at(image.get(), x, y) = rows[y][x];
    for (const RgbCase &c : kRgbCases) {
        const KotSaveOptions o = options(static_cast<int16_t>(c.id), 0, 0);
        const Packed packed = pack_to_file("rgb" + std::to_string(c.id), [&](kot::FileWriter &out) {
            return kot::pack_rgb_rows(out, image.get(), &o, nullptr, c.id);
        });
        EXPECT_EQ(packed.status, KOT_OK) << c.id;
        Bytes expected;
        for (int y = 1; y >= 0; --y) {
            for (int x = 0; x < 3; ++x) {
                const bool is_p = (y == 0 && x != 1) || (y == 1 && x == 2);
                wctest::append_le(expected, is_p ? c.p : c.q, c.bytes);
            }
            while (expected.size() % 4 != 0) expected.push_back(0);
        }
        EXPECT_EQ(packed.bytes, expected) << "id " << c.id;
    }
}

TEST(RgbPacker, ThreeByteRowsArePadded) {
    // 1 x 1 as id 20: blue, green, red and one padding byte.
    auto image = make_image(1, 1);
    at(image.get(), 0, 0) = kWhite;
    const KotSaveOptions o = options(20, 0, 128);
    const Packed p = pack_to_file("rgbpad", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &o, nullptr, 20);
    });
    EXPECT_EQ(p.bytes, (Bytes{255, 255, 255, 0}));
}

TEST(RgbPacker, WithoutMergeAlphaIsDropped) {
    // A fully transparent red pixel is written as red.
    auto image = make_image(1, 1);
    at(image.get(), 0, 0) = wctest::from_rgba(1.0f, 0.0f, 0.0f, 0.0f);
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 255;
    image->viewinfo[2] = 0;
    const KotSaveOptions o = options(20, 0x6, 128, 128);  // threshold switches without merge
    const Packed p = pack_to_file("rgbnomerge", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &o, nullptr, 20);
    });
    EXPECT_EQ(p.bytes, (Bytes{0, 0, 255, 0}));
}

TEST(RgbPacker, MergeComposesOverTheBackground) {
    auto image = make_image(4, 1);
    at(image.get(), 0, 0) = grey(1.0f, 0.0f);  // transparent white
    at(image.get(), 1, 0) = grey(1.0f, 1.0f);  // opaque white
    at(image.get(), 2, 0) = grey(1.0f, 0.6f);
    at(image.get(), 3, 0) = grey(1.0f, 0.4f);
    image->viewinfo[0] = 255;  // magenta background
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    // Merge only: 0.6 and 0.4 mix; green = 0 + (1 - 0) x a.
    const KotSaveOptions merge = options(20, 0x1, 0, 128);
    const Packed p = pack_to_file("rgbmerge", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &merge, nullptr, 20);
    });
    // 0.6 -> 65535 x 0.6 = 39321 -> 153; 0.4 -> 26214 -> 102.
    EXPECT_EQ(p.bytes, (Bytes{255, 0, 255, 255, 255, 255, 255, 153, 255, 255, 102, 255}));
    // Merge with the threshold at 128: 0.6 becomes opaque, 0.4 transparent.
    const KotSaveOptions cut = options(20, 0x3, 0, 128);
    const Packed t = pack_to_file("rgbcut", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &cut, nullptr, 20);
    });
    EXPECT_EQ(t.bytes, (Bytes{255, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 255}));
}

TEST(RgbPacker, MergedColourIsClippedBeforeQuantising) {
    // Alpha above 1 extrapolates past white; the clip brings it back to 255.
    auto image = make_image(1, 1);
    at(image.get(), 0, 0) = grey(1.0f, 1.5f);
    image->viewinfo[0] = image->viewinfo[1] = image->viewinfo[2] = 0;
    const KotSaveOptions o = options(22, 0x1, 0);
    const Packed p = pack_to_file("rgbclip", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &o, nullptr, 22);
    });
    EXPECT_EQ(p.bytes, (Bytes{255, 255, 255, 0}));
}

// ---- progress, cancel, short writes, bad arguments

TEST(PackerProgress, OneStepPerOutputByteForPackedLayouts) {
    auto image = make_image(10, 2);
    const KotSaveOptions o = options(200, 0, 0);
    wctest::ProgressLog log;
    kvza_progress_setup(image.get(), &log.record);
    const Packed p = pack_to_file("prog1", [&](kot::FileWriter &out) {
        return kot::pack_grey_rows(out, image.get(), &o, &log.record, 1);
    });
    EXPECT_EQ(p.status, KOT_OK);
    // Two bytes per row, two rows; the total stays width x height.
    ASSERT_EQ(log.calls.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i + 1, 20u));
}

TEST(PackerProgress, FourBitCountsBytesEightBitAndRgbCountPixels) {
    auto image = make_image(3, 2);
    const KotSaveOptions o = options(20, 0, 0);
    for (uint32_t bits : {4u, 8u}) {
        wctest::ProgressLog log;
        kvza_progress_setup(image.get(), &log.record);
        pack_to_file("prog" + std::to_string(bits), [&](kot::FileWriter &out) {
            return kot::pack_alpha_rows(out, image.get(), &o, &log.record, bits);
        });
        EXPECT_EQ(log.calls.size(), bits == 4 ? 4u : 6u) << bits;
    }
    wctest::ProgressLog log;
    kvza_progress_setup(image.get(), &log.record);
    pack_to_file("progrgb", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &o, &log.record, 20);
    });
    ASSERT_EQ(log.calls.size(), 6u);
    EXPECT_EQ(log.calls.back(), std::make_pair(6u, 6u));
}

TEST(PackerCancel, StopsRightAfterTheUnitThatWasCounted) {
    auto image = make_image(5, 1);
    const KotSaveOptions o = options(28, 0, 0);
    wctest::ProgressLog log;
    log.stop_at = 2;
    kvza_progress_setup(image.get(), &log.record);
    const Packed p = pack_to_file("cancel8", [&](kot::FileWriter &out) {
        return kot::pack_alpha_rows(out, image.get(), &o, &log.record, 8);
    });
    EXPECT_EQ(p.status, KOT_CANCELED);
    EXPECT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(p.bytes.size(), 2u);
}

TEST(PackerCancel, RgbCancelKeepsTheRowsAlreadyWritten) {
    auto image = make_image(3, 2);
    const KotSaveOptions o = options(20, 0, 0);
    wctest::ProgressLog log;
    log.stop_at = 4;
    kvza_progress_setup(image.get(), &log.record);
    const Packed p = pack_to_file("cancelrgb", [&](kot::FileWriter &out) {
        return kot::pack_rgb_rows(out, image.get(), &o, &log.record, 20);
    });
    EXPECT_EQ(p.status, KOT_CANCELED);
    // Bottom row 9 + 3 padding bytes, then the first pixel of the top row.
    EXPECT_EQ(p.bytes.size(), 15u);
}

TEST(PackerCancel, OneBitCancelOnFirstByte) {
    auto image = make_image(20, 1);
    const KotSaveOptions o = options(202, 0, 0);
    image->palette[1] = kWhite;
    wctest::ProgressLog log;
    log.stop_at = 1;
    kvza_progress_setup(image.get(), &log.record);
    const Packed p = pack_to_file("cancel1", [&](kot::FileWriter &out) {
        return kot::pack_index_rows(out, image.get(), &o, &log.record, 1);
    });
    EXPECT_EQ(p.status, KOT_CANCELED);
    EXPECT_EQ(p.bytes.size(), 1u);
}

TEST(PackerShortWrite, FullDeviceFailsAtOnce) {
    std::FILE *full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(full, nullptr, _IONBF, 0);  // every unit reaches the device
    auto image = make_image(4, 2);
    grey_palette(image.get(), 256);
    const KotSaveOptions o = options(20, 0, 0);
    const std::function<int32_t(kot::FileWriter &, KvzaProgress *)> packers[] = {
        [&](kot::FileWriter &w, KvzaProgress *pr) {
            return kot::pack_index_rows(w, image.get(), &o, pr, 8);
        },
        [&](kot::FileWriter &w, KvzaProgress *pr) {
            return kot::pack_grey_rows(w, image.get(), &o, pr, 1);
        },
        [&](kot::FileWriter &w, KvzaProgress *pr) {
            return kot::pack_alpha_rows(w, image.get(), &o, pr, 4);
        },
        [&](kot::FileWriter &w, KvzaProgress *pr) {
            return kot::pack_rgb_rows(w, image.get(), &o, pr, 191);
        },
    };
    for (const auto &pack : packers) {
        kot::FileWriter out(full);
        wctest::ProgressLog log;
        kvza_progress_setup(image.get(), &log.record);
        EXPECT_EQ(pack(out, &log.record), KOT_FAILED);
        EXPECT_TRUE(log.calls.empty());  // the failed unit is not counted
        EXPECT_FALSE(out.close());
    }
    std::fclose(full);
}

TEST(PackerShortWrite, UnopenedWriterFails) {
    auto image = make_image(2, 2);
    const KotSaveOptions o = options(20, 0, 0);
    kot::FileWriter out;
    EXPECT_EQ(kot::pack_rgb_rows(out, image.get(), &o, nullptr, 20), KOT_FAILED);
    EXPECT_EQ(kot::pack_grey_rows(out, image.get(), &o, nullptr, 8), KOT_FAILED);
}

TEST(PackerArguments, RefusesWhatItCannotPack) {
    auto image = make_image(2, 2);
    auto empty = make_image(0, 3);
    const KotSaveOptions o = options(20, 0, 0);
    wctest::TempPath path("badargs");
    kot::FileWriter out;
    ASSERT_TRUE(out.open(path.c_str()));
    EXPECT_EQ(kot::pack_index_rows(out, image.get(), &o, nullptr, 3), KOT_FAILED);
    EXPECT_EQ(kot::pack_grey_rows(out, image.get(), &o, nullptr, 16), KOT_FAILED);
    EXPECT_EQ(kot::pack_alpha_rows(out, image.get(), &o, nullptr, 0), KOT_FAILED);
    EXPECT_EQ(kot::pack_rgb_rows(out, image.get(), &o, nullptr, 32), KOT_FAILED);
    EXPECT_EQ(kot::pack_rgb_rows(out, nullptr, &o, nullptr, 20), KOT_FAILED);
    EXPECT_EQ(kot::pack_grey_rows(out, image.get(), nullptr, nullptr, 8), KOT_FAILED);
    EXPECT_EQ(kot::pack_alpha_rows(out, empty.get(), &o, nullptr, 8), KOT_FAILED);
    EXPECT_TRUE(out.close());
    EXPECT_TRUE(path.bytes().empty());
}

// The RGB packer encodes blocks of rows on all cores and writes the pixels
// up to each progress callback together: its bytes, callbacks and stop point
// are those of the one-pixel colour path written pixel by pixel, for every
// layout and option, over colours that repeat, lie outside the gamut or are
// not numbers, on a picture wider than a block of the encoder.
TEST(RgbPacker, BlocksMatchThePixelByPixelPath) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-1.2f, 1.2f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    auto fill = [&](KvzaImage *image) {
        const int64_t n = int64_t{image->width} * image->height;
        for (int64_t i = 0; i < n; ++i) {
            KvzaPixel &p = image->pixels[i];
            if (i > 0 && rng() % 3 == 0) {
                p = image->pixels[i - 1];  // a run of one colour
            } else {
                p = {any(rng), any(rng), any(rng), unit(rng)};
                if (rng() % 50 == 0) p.c = kNaN;
                if (rng() % 20 == 0) p.a = rng() % 2 ? 0.0f : 1.0f;
            }
        }
        image->viewinfo[0] = 40, image->viewinfo[1] = 90, image->viewinfo[2] = 200;
    };
    struct Case {
        int16_t id;
        uint16_t switches;
        int16_t dither;
        int32_t width, height;
        uint32_t interval;
        int stop_at;
    };
    const Case cases[] = {
        {20, 0, 0, 37, 23, 0, 0},
        {20, 1, 128, 37, 23, 5, 0},
        {21, 2, 64, 37, 23, 0, 0},
        {21, 6, 200, 37, 23, 11, 9},
        {22, 3, 0, 1030, 9, 100, 0},
        {23, 0, 256, 37, 23, 3, 40},
        {24, 1, 32, 37, 23, 0, 0},
        {30, 7, 128, 37, 23, 0, 0},
        {190, 0, 99, 37, 23, 7, 0},
        {191, 1, 0, 37, 23, 0, 0},
        {225, 0, 0, 1300, 1000, 4095, 7},
        {20, 0, 0, (1 << 20) + 5, 2, 65535, 0},  // rows wider than a block
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " switches " << c.switches);
        auto image = make_image(c.width, c.height);
        fill(image.get());
        const KotSaveOptions o = options(c.id, c.switches, c.dither, 100);
        const kot::RgbLayout &layout = *kot::find_rgb_layout(c.id);
        // One pixel at a time, through the one-pixel colour path.
        wctest::ProgressLog want_log;
        want_log.stop_at = c.stop_at;
        want_log.record.interval = c.interval;
        kvza_progress_setup(image.get(), &want_log.record);
        Bytes want;
        int32_t want_status = KOT_OK;
        KvzaPixel work{0.0f, 0.0f, 0.0f, 1.0f};
        for (int32_t y = c.height - 1; y >= 0 && want_status == KOT_OK; --y) {
            for (int32_t x = 0; x < c.width && want_status == KOT_OK; ++x) {
                const KvzaPixel *pixel = &at(image.get(), x, y);
                if (layout.bits_a != 0)
                    kot::rgba_colour_path(&o, pixel, x, y, &work);
                else
                    kot::rgb_colour_path(image.get(), &o, pixel, x, y, &work);
                uint8_t word[4];
                kot::put_le32(word, kot::rgb_word(layout, work, x, y, c.dither));
                want.insert(want.end(), word, word + layout.bytes);
                if (kvza_progress_count(image.get(), &want_log.record) != 0)
                    want_status = KOT_CANCELED;
            }
            if (want_status == KOT_OK) want.resize((want.size() + 3) / 4 * 4, 0);
        }
        wctest::ProgressLog log;
        log.stop_at = c.stop_at;
        log.record.interval = c.interval;
        kvza_progress_setup(image.get(), &log.record);
        const Packed p = pack_to_file("blocks", [&](kot::FileWriter &out) {
            return kot::pack_rgb_rows(out, image.get(), &o, &log.record, c.id);
        });
        EXPECT_EQ(p.status, want_status);
        EXPECT_EQ(log.calls, want_log.calls);
        ASSERT_EQ(p.bytes.size(), want.size());
        EXPECT_TRUE(p.bytes == want);
    }
}
