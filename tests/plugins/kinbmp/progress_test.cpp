// Progress and cancellation of kin_load.
#include "bmp_fixture.h"

using namespace kintest;

namespace {

Bytes rgb_4x3() {
    BmpSpec s;
    s.width = 4;
    s.height = -3;
    s.bpp = 24;
    std::vector<std::vector<uint32_t>> rows(3, std::vector<uint32_t>(4, 0x808080));
    s.rows = pack_rows(24, rows);
    return build_bmp(s);
}

}  // namespace

TEST_F(Bmp, ProgressCountsEveryPixelAndEndsWithTotalOfTotal) {
    ProgressLog log;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), rgb_4x3(), 0, &p);
    ASSERT_EQ(o.status, 0);
    ASSERT_EQ(log.calls.size(), 13U);  // 12 pixels and the final call
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i + 1, 12U));
    EXPECT_EQ(log.calls.back(), std::make_pair(12U, 12U));
}

TEST_F(Bmp, ProgressIntervalSpacesTheCalls) {
    ProgressLog log;
    KvzaProgress p = log.record(4);
    ASSERT_EQ(open(reader(), rgb_4x3(), 0, &p).status, 0);
    ASSERT_EQ(log.calls.size(), 3U);
    EXPECT_EQ(log.calls[0].first, 5U);
    EXPECT_EQ(log.calls[1].first, 10U);
    EXPECT_EQ(log.calls[2], std::make_pair(12U, 12U));
}

TEST_F(Bmp, CancellingAtOnceReturnsTwoAndStopsDecoding) {
    ProgressLog log;
    log.stop_at_call = 1;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), rgb_4x3(), 0, &p);
    EXPECT_EQ(o.status, 2);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(128, 128, 128));
    EXPECT_TRUE(is_clear(pix(o.image, 1, 0)));
    EXPECT_TRUE(is_clear(pix(o.image, 3, 2)));
    // The final call still follows the cancelled pass.
    ASSERT_EQ(log.calls.size(), 2U);
    EXPECT_EQ(log.calls.back(), std::make_pair(12U, 12U));
    EXPECT_EQ(o.image->pixtype, 0);
}

TEST_F(Bmp, CancelInsideAOneBitByteFinishesThatByte) {
    BmpSpec s;
    s.width = 12;
    s.height = 1;
    s.bpp = 1;
    s.table = colour_table({0x000000, 0xFFFFFF}, 4);
    s.rows = {0xFF, 0xF0, 0, 0};
    ProgressLog log;
    log.stop_at_call = 3;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), build_bmp(s), 0, &p);
    EXPECT_EQ(o.status, 2);
    for (int x = 0; x < 8; ++x) EXPECT_PIXEL(pix(o.image, x, 0), kvz8(255, 255, 255)) << x;
    for (int x = 8; x < 12; ++x) EXPECT_TRUE(is_clear(pix(o.image, x, 0))) << x;
    // Every stored pixel is counted, those after the stop request included,
    // and the final call follows.
    ASSERT_EQ(log.calls.size(), 9U);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i + 1, 12U));
    EXPECT_EQ(log.calls.back(), std::make_pair(12U, 12U));
}

TEST_F(Bmp, CancelInsideAFourBitByteFinishesThatByte) {
    BmpSpec s;
    s.width = 4;
    s.height = 1;
    s.bpp = 4;
    s.table = colour_table(std::vector<uint32_t>(16, 0x204060), 4);
    s.rows = {0x11, 0x11, 0, 0};
    ProgressLog log;
    log.stop_at_call = 1;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), build_bmp(s), 0, &p);
    EXPECT_EQ(o.status, 2);
    EXPECT_PIXEL(pix(o.image, 1, 0), kvz8(0x20, 0x40, 0x60));
    EXPECT_TRUE(is_clear(pix(o.image, 2, 0)));
}

TEST_F(Bmp, CancelInAnIconSkipsTheMask) {
    IcoSpec s;
    s.entry_width = 2;
    s.entry_height = 1;
    s.bpp = 24;
    s.header_width = 2;
    s.header_height = 2;
    s.rows = pack_rows(24, {{0x102030, 0x102030}});
    s.mask = pack_rows(1, {{1, 1}});
    ProgressLog log;
    log.stop_at_call = 1;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), build_ico(s), 0, &p);
    EXPECT_EQ(o.status, 2);
    EXPECT_PIXEL(pix(o.image, 0, 0), rgb8(0x10, 0x20, 0x30, 1.0f));
    EXPECT_TRUE(is_clear(pix(o.image, 1, 0)));
}

TEST_F(Bmp, ShortDataStillEndsWithTheFinalCall) {
    const Bytes full = rgb_4x3();
    const Bytes cut(full.begin(), full.end() - 5);
    ProgressLog log;
    KvzaProgress p = log.record(100);
    const Opened o = open(reader(), cut, 0, &p);
    EXPECT_EQ(o.status, 1);
    ASSERT_EQ(log.calls.size(), 1U);
    EXPECT_EQ(log.calls[0], std::make_pair(12U, 12U));
}

TEST_F(Bmp, RefusedHeaderMakesNoProgressCalls) {
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bpp = 8;
    s.compression = 1;
    s.table = Bytes(1024, 0);
    s.rows = Bytes(8, 0);
    ProgressLog log;
    KvzaProgress p = log.record(0);
    kvzatest::ImagePtr image;
    EXPECT_EQ(load_into(reader(), build_bmp(s), 2, 2, image, 0, KVZA_WRAP_CLAMP, &p), 1);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Bmp, ProgressTotalIsTheRecordsPixelCount) {
    // A record smaller than the file: done never passes the record's total.
    ProgressLog log;
    KvzaProgress p = log.record(0);
    kvzatest::ImagePtr image;
    ASSERT_EQ(load_into(reader(), rgb_4x3(), 2, 2, image, 0, KVZA_WRAP_CLAMP, &p), 0);
    ASSERT_EQ(log.calls.size(), 13U);
    EXPECT_EQ(log.calls[3], std::make_pair(4U, 4U));
    EXPECT_EQ(log.calls[11], std::make_pair(4U, 4U));
    EXPECT_EQ(log.calls.back(), std::make_pair(4U, 4U));
}
