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

// A picture of several blocks of rows decoded ahead (about 2^18 pixels each),
// with a different colour in almost every pixel: a full load gives each
// pixel its own conversion; a cut file and a stop request in a later block
// leave exactly the pixels before the cut or the stop, counted one by one.
TEST_F(Bmp, LargePicturesStopWhereThePixelByPixelWalkStops) {
    constexpr int kW = 1000, kH = 700;
    BmpSpec s;
    s.width = kW;
    s.height = kH;  // bottom-up: stored row 0 is the picture's last row
    s.bpp = 24;
    std::vector<std::vector<uint32_t>> rows(kH, std::vector<uint32_t>(kW));
    for (int i = 0; i < kH; ++i)
        for (int x = 0; x < kW; ++x)
            rows[i][x] = (uint32_t(i) * 2654435761u + x * 40503u) & 0xFFFFFF;
    s.rows = pack_rows(24, rows);
    const Bytes file = build_bmp(s);
    auto expected = [&](int x, int stored_row) {
        const uint32_t v = rows[stored_row][x];
        return rgb8(int(v >> 16), int((v >> 8) & 255), int(v & 255));
    };
    const Opened full = open(reader(), file);
    ASSERT_EQ(full.status, 0);
    for (int i = 0; i < kH; i += 37)
        for (int x = 0; x < kW; x += 7)
            EXPECT_PIXEL(pix(full.image, x, kH - 1 - i), expected(x, i));

    const size_t row_bytes = kW * 3 + (4 - kW * 3 % 4) % 4;
    // Cut inside pixel 321 of stored row 600 (in the third block of rows).
    const uint64_t cut_pixel = 600ull * kW + 321;
    const size_t data_start = file.size() - kH * row_bytes;
    const Bytes cut(file.begin(), file.begin() + data_start + 600 * row_bytes + 321 * 3 + 2);
    ProgressLog stop;
    stop.stop_at_call = 450001;
    KvzaProgress p = stop.record(0);
    const Opened stopped = open(reader(), file, 0, &p);
    EXPECT_EQ(stopped.status, 2);
    const Opened short_file = open(reader(), cut);
    EXPECT_EQ(short_file.status, 1);
    for (const auto &[o, left] :
         {std::pair{&stopped, uint64_t{450001}}, std::pair{&short_file, cut_pixel}}) {
        for (uint64_t k : {left - 2, left - 1, left, left + 1, left + kW}) {
            const int i = int(k / kW), x = int(k % kW);
            SCOPED_TRACE(k);
            if (k < left)
                EXPECT_PIXEL(pix(o->image, x, kH - 1 - i), expected(x, i));
            else
                EXPECT_TRUE(is_clear(pix(o->image, x, kH - 1 - i)));
        }
    }
}

// Rows wider than a block are decoded in pieces: every pixel of a full load,
// and of a file cut in the second row's second piece, where it would be.
TEST_F(Bmp, RowsWiderThanABlockLoadPieceByPiece) {
    constexpr int kW = 300000, kH = 2;
    BmpSpec s;
    s.width = kW;
    s.height = -kH;
    s.bpp = 24;
    std::vector<std::vector<uint32_t>> rows(kH, std::vector<uint32_t>(kW));
    for (int i = 0; i < kH; ++i)
        for (int x = 0; x < kW; ++x) rows[i][x] = (uint32_t(x) * 2654435761u + i) & 0xFFFFFF;
    s.rows = pack_rows(24, rows);
    const Bytes file = build_bmp(s);
    const size_t row_bytes = kW * 3;  // a multiple of 4
    // The second row keeps 280000 pixels and one byte of the next.
    const Bytes cut(file.begin(), file.end() - (kW - 280000) * 3 + 1);
    const Opened full = open(reader(), file), part = open(reader(), cut);
    ASSERT_EQ(full.status, 0);
    EXPECT_EQ(part.status, 1);
    ASSERT_EQ(row_bytes % 4, 0u);
    for (int i = 0; i < kH; ++i)
        for (int x : {0, 1, 262143, 262144, 279999, 280000, kW - 1}) {
            SCOPED_TRACE(testing::Message() << i << "," << x);
            const uint32_t v = rows[i][x];
            const KvzaPixel want = rgb8(int(v >> 16), int((v >> 8) & 255), int(v & 255));
            EXPECT_PIXEL(pix(full.image, x, i), want);
            if (i == 0 || x < 280000)
                EXPECT_PIXEL(pix(part.image, x, i), want);
            else
                EXPECT_TRUE(is_clear(pix(part.image, x, i)));
        }
}
