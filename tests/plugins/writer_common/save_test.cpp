// The common kot_save frame and the file writer.
#include <gtest/gtest.h>

#include <fstream>

#include "wc_test_util.h"
#include "writer_common.h"

using kvzatest::make_image;
using wctest::options;
using wctest::TempPath;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int16_t kIds[] = {20, 41};
kot::WriterTable g_table(kot::TableKind::AlphaOptions, kIds);

// A body that records its call, writes "KOT" and counts progress steps.
int g_body_calls = 0;
int32_t g_body_status = KOT_OK;
int32_t write_marker(kot::SaveJob &job) {
    ++g_body_calls;
    if (!job.out.write("KOT", 3)) return KOT_FAILED;
    for (int i = 0; i < 3; ++i) {
        if (kvza_progress_count(job.image, job.progress) != 0) return KOT_CANCELED;
    }
    return g_body_status;
}

class RunSave : public ::testing::Test {
  protected:
    void SetUp() override {
        g_body_calls = 0;
        g_body_status = KOT_OK;
    }
    int32_t save(KvzaImage *image, const char *path, const KotSaveOptions *o,
                 KvzaProgress *progress) {
        return kot::run_save(image, path, o, progress, g_table.get(), &write_marker);
    }
};

void write_file(const TempPath &path, const std::string &content) {
    std::ofstream(path.c_str(), std::ios::binary) << content;
}

}  // namespace

TEST_F(RunSave, WritesThroughTheBodyAndFinishesProgress) {
    auto image = make_image(4, 2);
    TempPath path("save_ok");
    write_file(path, "old content that must go");
    const KotSaveOptions o = options(20, 0, 0);
    wctest::ProgressLog log;
    EXPECT_EQ(save(image.get(), path.c_str(), &o, &log.record), KOT_OK);
    EXPECT_EQ(g_body_calls, 1);
    EXPECT_EQ(path.bytes(), (Bytes{'K', 'O', 'T'}));
    // Three counted steps of a total of width x height, then the final report.
    ASSERT_EQ(log.calls.size(), 4u);
    EXPECT_EQ(log.calls[2], std::make_pair(3u, 8u));
    EXPECT_EQ(log.calls.back(), std::make_pair(8u, 8u));
}

TEST_F(RunSave, NullOptionsOrEmptyImageTouchNoFile) {
    auto image = make_image(4, 2);
    auto narrow = make_image(0, 2);
    auto flat = make_image(3, 0);
    TempPath path("save_none");
    const KotSaveOptions o = options(20, 0, 0);
    wctest::ProgressLog log;
    EXPECT_EQ(save(image.get(), path.c_str(), nullptr, &log.record), KOT_FAILED);
    EXPECT_EQ(save(narrow.get(), path.c_str(), &o, &log.record), KOT_FAILED);
    EXPECT_EQ(save(flat.get(), path.c_str(), &o, &log.record), KOT_FAILED);
    EXPECT_EQ(save(nullptr, path.c_str(), &o, &log.record), KOT_FAILED);
    EXPECT_FALSE(path.exists());
    EXPECT_EQ(g_body_calls, 0);
    EXPECT_TRUE(log.calls.empty());

    // An existing file is not truncated either.
    write_file(path, "keep");
    EXPECT_EQ(save(narrow.get(), path.c_str(), &o, nullptr), KOT_FAILED);
    EXPECT_EQ(path.bytes(), (Bytes{'k', 'e', 'e', 'p'}));
}

TEST_F(RunSave, UnusableTypeLeavesAnEmptyFile) {
    auto image = make_image(2, 2);
    for (int16_t type : {0, 21, 254, -1, 300}) {
        TempPath path("save_type" + std::to_string(type));
        write_file(path, "old");
        const KotSaveOptions o = options(type, 0, 0);
        wctest::ProgressLog log;
        EXPECT_EQ(save(image.get(), path.c_str(), &o, &log.record), KOT_FAILED) << type;
        EXPECT_TRUE(path.exists());
        EXPECT_TRUE(path.bytes().empty()) << type;
        // The final report still comes, with done equal to total.
        ASSERT_EQ(log.calls.size(), 1u);
        EXPECT_EQ(log.calls[0], std::make_pair(4u, 4u));
    }
    EXPECT_EQ(g_body_calls, 0);
}

TEST_F(RunSave, CancelReturns2AndStillReportsCompletion) {
    auto image = make_image(3, 3);
    TempPath path("save_cancel");
    const KotSaveOptions o = options(41, 0, 0);
    wctest::ProgressLog log;
    log.stop_at = 1;
    EXPECT_EQ(save(image.get(), path.c_str(), &o, &log.record), KOT_CANCELED);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0], std::make_pair(1u, 9u));
    EXPECT_EQ(log.calls[1], std::make_pair(9u, 9u));
    EXPECT_EQ(path.bytes(), (Bytes{'K', 'O', 'T'}));  // nothing is deleted
}

TEST_F(RunSave, BodyStatusIsPassedOn) {
    auto image = make_image(1, 1);
    TempPath path("save_status");
    const KotSaveOptions o = options(20, 0, 0);
    g_body_status = KOT_FAILED;
    EXPECT_EQ(save(image.get(), path.c_str(), &o, nullptr), KOT_FAILED);
    EXPECT_EQ(g_body_calls, 1);
}

TEST_F(RunSave, FileThatCannotBeCreatedFails) {
    auto image = make_image(2, 1);
    const KotSaveOptions o = options(20, 0, 0);
    wctest::ProgressLog log;
    EXPECT_EQ(save(image.get(), "/nonexistent-folder/x.bmp", &o, &log.record), KOT_FAILED);
    EXPECT_EQ(save(image.get(), nullptr, &o, nullptr), KOT_FAILED);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.back(), std::make_pair(2u, 2u));
}

TEST_F(RunSave, FullDiskFoundAtCloseFails) {
    // The three bytes sit in the stream's buffer until the close, which fails.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full not available";
    auto image = make_image(1, 1);
    const KotSaveOptions o = options(20, 0, 0);
    EXPECT_EQ(save(image.get(), "/dev/full", &o, nullptr), KOT_FAILED);
    EXPECT_EQ(g_body_calls, 1);
}

TEST_F(RunSave, NullProgressIsAllowed) {
    auto image = make_image(2, 2);
    TempPath path("save_noprog");
    const KotSaveOptions o = options(41, 0, 0);
    EXPECT_EQ(save(image.get(), path.c_str(), &o, nullptr), KOT_OK);
    EXPECT_EQ(path.bytes().size(), 3u);
}

// ---- FileWriter

TEST(FileWriter, WritesLittleEndianNumbers) {
    TempPath path("fw_numbers");
    kot::FileWriter out;
    ASSERT_TRUE(out.open(path.c_str()));
    EXPECT_TRUE(out.write_u8(0x1ab));
    EXPECT_TRUE(out.write_le16(0x1234));
    EXPECT_TRUE(out.write_le32(0xdeadbeef));
    EXPECT_TRUE(out.write("", 0));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(path.bytes(), (Bytes{0xab, 0x34, 0x12, 0xef, 0xbe, 0xad, 0xde}));
}

// Small writes are gathered and large ones pass through: the file holds
// every byte in order, across the gathering block's edges, and a reopened
// writer starts empty.
TEST(FileWriter, SmallAndLargeWritesKeepTheirOrder) {
    TempPath path("fw_order");
    Bytes want;
    kot::FileWriter out;
    for (int round = 0; round < 2; ++round) {
        want.clear();
        ASSERT_TRUE(out.open(path.c_str()));
        uint32_t v = 1;
        for (size_t size : {size_t{3}, size_t{70000}, size_t{1}, size_t{65535}, size_t{65536},
                            size_t{2}, size_t{200000}, size_t{5}}) {
            for (int k = 0; k < 20; ++k) {
                Bytes chunk(size);
                for (uint8_t &b : chunk) b = static_cast<uint8_t>(v = v * 1103515245u + 12345u);
                ASSERT_TRUE(out.write(chunk.data(), chunk.size()));
                want.insert(want.end(), chunk.begin(), chunk.end());
            }
        }
        ASSERT_TRUE(out.close());
        ASSERT_EQ(path.bytes().size(), want.size());
        EXPECT_TRUE(path.bytes() == want);
    }
}

TEST(FileWriter, PutLittleEndian) {
    uint8_t b[6] = {};
    kot::put_le16(b, 0xa1b2);
    kot::put_le32(b + 2, 0x01020304);
    EXPECT_EQ(Bytes(b, b + 6), (Bytes{0xb2, 0xa1, 0x04, 0x03, 0x02, 0x01}));
}

TEST(FileWriter, ClosedOrUnopenedWriterFails) {
    kot::FileWriter never;
    EXPECT_FALSE(never.is_open());
    EXPECT_FALSE(never.write("x", 1));
    EXPECT_FALSE(never.close());

    TempPath path("fw_closed");
    kot::FileWriter out;
    ASSERT_TRUE(out.open(path.c_str()));
    EXPECT_TRUE(out.close());
    EXPECT_FALSE(out.write("x", 1));
    EXPECT_FALSE(out.close());
    EXPECT_FALSE(out.open(nullptr));
    EXPECT_FALSE(out.open("/nonexistent-folder/file"));
}

TEST(FileWriter, FailureIsSticky) {
    std::FILE *full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    kot::FileWriter out(full);
    EXPECT_FALSE(out.write("abc", 3));
    EXPECT_FALSE(out.write("", 0));
    EXPECT_FALSE(out.close());
    std::fclose(full);
}

TEST(FileWriter, BorrowedStreamStaysOpen) {
    TempPath path("fw_borrowed");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        kot::FileWriter out(f);
        EXPECT_TRUE(out.write("ab", 2));
        EXPECT_TRUE(out.close());  // flushed, not closed
    }
    EXPECT_EQ(std::fputc('c', f), 'c');
    EXPECT_EQ(std::fclose(f), 0);
    EXPECT_EQ(path.bytes(), (Bytes{'a', 'b', 'c'}));
}
