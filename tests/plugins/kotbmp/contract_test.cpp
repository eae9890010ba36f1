// kot_save's contract: refusals, what is left on disk, progress steps and
// cancellation, and images whose sizes do not fit the format.
#include <filesystem>
#include <fstream>

#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

class Contract : public WriterTest {
  protected:
    static void write_text(const TempPath &path, const std::string &text) {
        std::ofstream(path.str(), std::ios::binary) << text;
    }
};

TEST_F(Contract, MissingOptionsOrImageTouchNoFile) {
    auto image = kvzatest::make_image(2, 2);
    const KotSaveOptions o = options(20);
    TempPath path("none");
    ProgressLog log;
    EXPECT_EQ(writer().save(image.get(), path.c_str(), nullptr, &log.record), 1);
    EXPECT_EQ(writer().save(nullptr, path.c_str(), &o, &log.record), 1);
    EXPECT_FALSE(path.exists());
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Contract, ZeroWideOrZeroHighImageCreatesNoFile) {
    auto narrow = kvzatest::make_image(0, 3);
    auto flat = kvzatest::make_image(3, 0);
    const KotSaveOptions o = options(20);
    TempPath path("empty_image");
    ProgressLog log;
    EXPECT_EQ(writer().save(narrow.get(), path.c_str(), &o, &log.record), 1);
    EXPECT_EQ(writer().save(flat.get(), path.c_str(), &o, &log.record), 1);
    EXPECT_FALSE(path.exists());
    EXPECT_TRUE(log.calls.empty());
    // An existing file keeps its content.
    write_text(path, "keep me");
    EXPECT_EQ(writer().save(narrow.get(), path.c_str(), &o, nullptr), 1);
    EXPECT_EQ(path.bytes(), (Bytes{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

TEST_F(Contract, UnofferedTypeLeavesAnEmptyFile) {
    auto image = kvzatest::make_image(3, 2);
    // 0 (none chosen), ids of other writers, KVZA direct, ids outside 0..255.
    for (int16_t type : {0, 32, 25, 81, 204, 225, 254, 255, -1, 276, 32767}) {
        TempPath path("unoffered");
        write_text(path, "old content");
        ProgressLog log;
        const KotSaveOptions o = options(type);
        EXPECT_EQ(writer().save(image.get(), path.c_str(), &o, &log.record), 1) << type;
        EXPECT_TRUE(path.exists()) << type;
        EXPECT_TRUE(path.bytes().empty()) << type;
        // Only the final report: done equals total.
        ASSERT_EQ(log.calls.size(), 1u) << type;
        EXPECT_EQ(log.calls[0], std::make_pair(6u, 6u));
    }
}

TEST_F(Contract, FileThatCannotBeCreatedFails) {
    auto image = kvzatest::make_image(2, 2);
    const KotSaveOptions o = options(20);
    ProgressLog log;
    EXPECT_EQ(writer().save(image.get(), "/nonexistent-folder-kotbmp/x.bmp", &o, &log.record), 1);
    EXPECT_EQ(writer().save(image.get(), nullptr, &o, nullptr), 1);
    const std::string folder = std::filesystem::temp_directory_path().string();
    EXPECT_EQ(writer().save(image.get(), folder.c_str(), &o, nullptr), 1) << "a folder";
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.back(), std::make_pair(4u, 4u));
}

TEST_F(Contract, ExistingFileIsTruncated) {
    auto image = image_from({{kRed.kvz}});
    TempPath path("truncate");
    write_text(path, std::string(500, 'x'));
    const KotSaveOptions o = options(20);
    EXPECT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), 0);
    EXPECT_EQ(path.bytes().size(), 58u);
}

TEST_F(Contract, SwitchesHighByteAndValidFlagAreIgnored) {
    auto image = image_from({{with_alpha(kRed.kvz, 0.0f), kWhite.kvz}});
    image->viewinfo[2] = 255;
    KotSaveOptions plain = options(20);
    KotSaveOptions noisy = options(20, 0xff00);
    noisy.valid = 0;
    noisy.track[2] = 99;
    noisy.track[3] = -5;
    const Saved a = save(image.get(), plain);
    const Saved b = save(image.get(), noisy);
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_EQ(a.bytes, b.bytes);
    // Switch 0 in the low byte does act: the transparent pixel turns blue.
    const Saved merged = save(image.get(), options(20, 0xff00 | kMerge));
    ASSERT_EQ(merged.status, 0);
    EXPECT_NE(merged.bytes, a.bytes);
    EXPECT_EQ(merged.bytes[54], 255);
    EXPECT_EQ(merged.bytes[56], 0);
}

// ------------------------------------------------------------ progress

struct ProgressCase {
    int16_t id;
    int width, height;
    uint32_t steps;  // units counted: pixels, or output bytes of packed rows
};

class Progress : public WriterTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(Progress, OneStepPerUnitThenTheFinalReport) {
    const ProgressCase &c = GetParam();
    auto image = kvzatest::make_image(c.width, c.height);
    ProgressLog log;
    const Saved s = save(image.get(), options(c.id), &log.record);
    ASSERT_EQ(s.status, 0);
    const uint32_t total = static_cast<uint32_t>(c.width * c.height);
    ASSERT_EQ(log.calls.size(), c.steps + 1);
    for (uint32_t i = 0; i < c.steps; ++i)
        EXPECT_EQ(log.calls[i], std::make_pair(i + 1, total)) << "step " << i;
    EXPECT_EQ(log.calls.back(), std::make_pair(total, total));
}

TEST_P(Progress, CancelAtTheFirstCallback) {
    const ProgressCase &c = GetParam();
    auto image = kvzatest::make_image(c.width, c.height);
    ProgressLog log;
    log.stop_at = 1;
    const Saved s = save(image.get(), options(c.id), &log.record);
    EXPECT_EQ(s.status, 2);
    const uint32_t total = static_cast<uint32_t>(c.width * c.height);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0], std::make_pair(1u, total));
    EXPECT_EQ(log.calls[1], std::make_pair(total, total));
    // The file holds the headers, masks, palette and the first unit only.
    ASSERT_GE(s.bytes.size(), 54u);
    const uint32_t offset = le32(s.bytes, 10);
    const uint32_t bits = le16(s.bytes, 28);
    EXPECT_EQ(s.bytes.size(), offset + (bits >= 8 ? bits / 8 : 1));
}

// 1- and 4-bit layouts count output bytes: 7 pixels are 1 byte (1 bit) or
// 4 bytes (4 bits) per row; all others count pixels.
INSTANTIATE_TEST_SUITE_P(Layouts, Progress,
                         ::testing::Values(ProgressCase{20, 7, 3, 21}, ProgressCase{22, 7, 3, 21},
                                           ProgressCase{23, 7, 3, 21}, ProgressCase{24, 7, 3, 21},
                                           ProgressCase{30, 7, 3, 21}, ProgressCase{190, 7, 3, 21},
                                           ProgressCase{191, 7, 3, 21}, ProgressCase{41, 7, 3, 21},
                                           ProgressCase{50, 7, 3, 21}, ProgressCase{28, 7, 3, 21},
                                           ProgressCase{212, 7, 3, 12}, ProgressCase{210, 7, 3, 12},
                                           ProgressCase{211, 7, 3, 12}, ProgressCase{202, 7, 3, 3},
                                           ProgressCase{200, 7, 3, 3}, ProgressCase{201, 7, 3, 3},
                                           ProgressCase{202, 17, 2, 6}, ProgressCase{212, 4, 2, 4}),
                         [](const ::testing::TestParamInfo<ProgressCase> &info) {
                             return "id" + std::to_string(info.param.id) + "_" +
                                    std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_F(Contract, ProgressIntervalSkipsCallbacks) {
    auto image = kvzatest::make_image(4, 3);
    ProgressLog log(2);  // every third step
    const Saved s = save(image.get(), options(20), &log.record);
    ASSERT_EQ(s.status, 0);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {3, 12}, {6, 12}, {9, 12}, {12, 12}, {12, 12}};
    EXPECT_EQ(log.calls, expected);
}

TEST_F(Contract, CancelLaterKeepsWhatWasWritten) {
    auto image = kvzatest::make_image(5, 4);
    ProgressLog log;
    log.stop_at = 7;  // first pixel of the second row written (bottom row is 5 pixels)
    const Saved s = save(image.get(), options(20), &log.record);
    EXPECT_EQ(s.status, 2);
    // One full row of 15 bytes + 1 padding, then two pixels of the next.
    EXPECT_EQ(s.bytes.size(), 54u + 16u + 6u);
    EXPECT_EQ(log.calls.back(), std::make_pair(20u, 20u));
    EXPECT_EQ(le32(s.bytes, 2), 54u + 4 * 16u) << "the header tells the full size";
}

// ------------------------------------------------------------ sizes beyond the format

// A block with only one pixel whose header claims a huge size. The writer must
// refuse such sizes before it reads a single pixel.
kvzatest::ImagePtr claimed(int32_t width, int32_t height) {
    auto image = kvzatest::make_image(1, 1);
    image->width = width;
    image->height = height;
    return image;
}

TEST_F(Contract, ImageSizeBeyondThirtyTwoBitsIsRefused) {
    struct Case {
        int16_t id;
        int32_t width, height;
    };
    // 24 bits: 120000-byte rows x 40000 = 4.8e9 bytes.
    // 32 bits: 65536 x 16384 x 4 = 2^32 bytes.
    // 1 bit: rows of 2^28 bytes x 16 = 2^32.
    // 16 bits: 32768 x 65536 x 2 = 2^32.
    // 8 bits: width 2^31 - 1 pads to 2^31 bytes, x 2 rows.
    const Case cases[] = {
        {20, 40000, 40000},    {191, 65536, 16384}, {22, 65536, 16384},
        {202, 2147483647, 16}, {23, 32768, 65536},  {41, 2147483647, 2},
        {212, 2147483647, 4},  {28, 65536, 65536},  {190, 2147483647, 2147483647}};
    for (const Case &c : cases) {
        auto image = claimed(c.width, c.height);
        const Saved s = save(image.get(), options(c.id));
        EXPECT_EQ(s.status, 1) << c.id;
        EXPECT_TRUE(s.bytes.empty()) << c.id << ": nothing is written";
    }
}

TEST_F(Contract, FileSizeBeyondThirtyTwoBitsIsRefused) {
    // 8 bits, width 4: the rows take 4 x (2^30 - 1) = 2^32 - 4 bytes, which
    // fits the image size field, but with 1078 bytes in front the file size
    // does not fit its field.
    auto image = claimed(4, (1 << 30) - 1);
    ProgressLog log;
    const Saved s = save(image.get(), options(41), &log.record);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(s.bytes.empty());
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].first, log.calls[0].second);
    // The same rows as 24-bit colour: 12 bytes x (2^30 - 1) do not fit either.
    auto wide = claimed(4, (1 << 30) - 1);
    EXPECT_EQ(save(wide.get(), options(20)).status, 1);
}

}  // namespace
