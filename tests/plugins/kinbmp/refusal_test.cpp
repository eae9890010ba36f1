// Bitmaps the reader refuses, and data that ends early.
#include "bmp_fixture.h"

using namespace kintest;

namespace {

BmpSpec rgb_3x2() {
    BmpSpec s;
    s.width = 3;
    s.height = -2;
    s.bpp = 24;
    s.rows = pack_rows(24, {{0x010101, 0x020202, 0x030303}, {0x040404, 0x050505, 0x060606}});
    return s;
}

}  // namespace

TEST_F(Bmp, RunLengthEncodedBitmapsFail) {
    for (uint32_t compression : {1U, 2U}) {
        BmpSpec s;
        s.width = 2;
        s.height = 1;
        s.bpp = compression == 1 ? 8 : 4;
        s.compression = compression;
        s.table = Bytes(compression == 1 ? 1024 : 64, 0);
        s.rows = {0x02, 0x01, 0x00, 0x01};  // two pixels of index 1, end of bitmap
        const Opened o = open(reader(), build_bmp(s));
        EXPECT_EQ(o.pixels, 2) << "the header itself is accepted";
        EXPECT_EQ(o.status, 1) << "compression " << compression;
    }
}

TEST_F(Bmp, UnknownCompressionsFail) {
    for (uint32_t compression : {4U, 5U, 6U, 0xFFFFFFFFU}) {
        BmpSpec s = rgb_3x2();
        s.compression = compression;
        EXPECT_EQ(open(reader(), build_bmp(s)).status, 1) << compression;
    }
}

TEST_F(Bmp, BitFieldsAreRefusedForPaletteDepths) {
    for (uint16_t bpp : {1, 4, 8}) {
        BmpSpec s;
        s.width = 1;
        s.height = 1;
        s.bpp = bpp;
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.table = Bytes(4U << bpp, 0);
        s.rows = {0, 0, 0, 0};
        EXPECT_EQ(open(reader(), build_bmp(s)).status, 1) << bpp;
    }
}

TEST_F(Bmp, UnsupportedDepthsFail) {
    for (uint16_t bpp : {0, 2, 3, 15, 48, 64}) {
        BmpSpec s = rgb_3x2();
        s.bpp = bpp;
        s.trailer = Bytes(2048, 0);
        EXPECT_EQ(open(reader(), build_bmp(s)).status, 1) << bpp;
    }
}

TEST_F(Bmp, HeaderSizesOtherThan12And40AreRefused) {
    for (uint32_t size : {0U, 16U, 56U, 64U, 108U, 124U}) {
        BmpSpec s = rgb_3x2();
        s.header_size = size;
        TempFile f(build_bmp(s));
        EXPECT_EQ(reader().imgs(f.path(), 0), 1) << "imgs reads only the file size";
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << size;
        kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
        EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1) << size;
    }
}

TEST_F(Bmp, NegativeWidthIsRefused) {
    BmpSpec s = rgb_3x2();
    s.width = -3;
    TempFile f(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
    s.header_size = 12;
    f.write(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, UnknownSignatureIsRefusedByAllExports) {
    Bytes file = build_bmp(rgb_3x2());
    file[0] = 'M';
    file[1] = 'B';
    TempFile f(file);
    EXPECT_EQ(reader().imgs(f.path(), 0), 0);
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, DataThatStopsEarlyFailsAndKeepsTheDecodedPixels) {
    const Bytes full = build_bmp(rgb_3x2());
    // The first row (12 bytes with padding), one pixel of the second and two
    // bytes of the next.
    const Bytes cut(full.begin(), full.end() - 7);
    const Opened o = open(reader(), cut);
    ASSERT_EQ(o.pixels, 6);
    EXPECT_EQ(o.status, 1);
    EXPECT_PIXEL(pix(o.image, 2, 0), rgb8(3, 3, 3));
    EXPECT_PIXEL(pix(o.image, 0, 1), rgb8(4, 4, 4));
    EXPECT_TRUE(is_clear(pix(o.image, 1, 1))) << "a pixel only partly in the file is not stored";
    EXPECT_TRUE(is_clear(pix(o.image, 2, 1)));
    EXPECT_EQ(o.image->pixtype, 0) << "pixtype is stored only on success";
}

TEST_F(Bmp, MissingPaddingAfterTheLastRowIsNotNeeded) {
    const Bytes full = build_bmp(rgb_3x2());
    // A row is 3 pixels x 3 bytes + 3 padding bytes; the last row's padding is never read.
    const Bytes cut(full.begin(), full.end() - 3);
    const Opened o = open(reader(), cut);
    EXPECT_EQ(o.status, 0);
    EXPECT_PIXEL(pix(o.image, 2, 1), rgb8(6, 6, 6));
}

TEST_F(Bmp, PixelDataPositionOutsideTheBytesReadIsRefused) {
    const Bytes full = build_bmp(rgb_3x2());
    for (uint32_t pos : {0U, 1U, static_cast<uint32_t>(full.size()), 0x7FFFFFFFU, 0xFFFFFFFFU}) {
        BmpSpec s = rgb_3x2();
        s.data_pos = pos;
        const Opened o = open(reader(), build_bmp(s));
        EXPECT_EQ(o.pixels, 6);
        EXPECT_EQ(o.status, 1) << pos;
    }
    // Position 2 is the first byte read: the header's bytes become pixels.
    BmpSpec s = rgb_3x2();
    s.data_pos = 2;
    EXPECT_EQ(open(reader(), build_bmp(s)).status, 0);
}

TEST_F(Bmp, BitFieldMasksPastTheEndOfTheFileFail) {
    BmpSpec s;
    s.width = 0;
    s.height = 0;
    s.bpp = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x07E0};  // the blue mask is missing
    kvzatest::ImagePtr image;
    EXPECT_EQ(load_into(reader(), build_bmp(s), 1, 1, image), 1);
}

TEST_F(Bmp, HeightOfMinusTwoToThe31IsRefused) {
    BmpSpec s = rgb_3x2();
    s.height = INT32_MIN;
    TempFile f(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
    EXPECT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, PixelCountsThatDoNotFitTheResultAreRefused) {
    BmpSpec s = rgb_3x2();
    s.width = 65536;
    s.height = 32768;  // 2^31 pixels
    TempFile f(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
    s.height = -32767;  // 2^31 - 2^16 pixels still fit
    f.write(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 65536 * 32767);
    s.width = INT32_MAX;
    s.height = INT32_MAX;
    f.write(build_bmp(s));
    EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
}

TEST_F(Bmp, HugeDimensionsFailOnTheDataNotOnMemory) {
    // The header is accepted, but the rows run past the end of the file.
    for (int32_t w : {INT32_MAX, 1 << 30, 65536}) {
        BmpSpec s = rgb_3x2();
        s.width = w;
        s.height = INT32_MAX;
        s.bpp = 32;
        kvzatest::ImagePtr image;
        EXPECT_EQ(load_into(reader(), build_bmp(s), 4, 4, image), 1) << w;
    }
}

TEST_F(Bmp, MissingFileNullPathAndBadOffsets) {
    const char *missing = "/nonexistent/kinbmp/file.bmp";
    EXPECT_EQ(reader().imgs(missing, 0), 0);
    EXPECT_EQ(reader().pixs(missing, 0, nullptr, nullptr), 0);
    kvzatest::ImagePtr image = kvzatest::make_image(1, 1);
    EXPECT_EQ(reader().load(image.get(), missing, 0, nullptr), 1);
    EXPECT_EQ(reader().imgs(nullptr, 0), 0);
    EXPECT_EQ(reader().pixs(nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().load(image.get(), nullptr, 0, nullptr), 1);

    TempFile f(build_bmp(rgb_3x2()));
    for (int32_t offset : {-1, -128, INT32_MIN, 1000, INT32_MAX}) {
        EXPECT_EQ(reader().imgs(f.path(), offset), 0) << offset;
        EXPECT_EQ(reader().pixs(f.path(), offset, nullptr, nullptr), 0) << offset;
        EXPECT_EQ(reader().load(image.get(), f.path(), offset, nullptr), 1) << offset;
    }
    EXPECT_EQ(reader().load(nullptr, f.path(), 0, nullptr), 1);
}

TEST_F(Bmp, AFolderIsNotAFile) {
    kvzatest::ImagePtr image = kvzatest::make_image(1, 1);
    EXPECT_EQ(reader().imgs("/", 0), 0);
    EXPECT_EQ(reader().pixs("/", 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().load(image.get(), "/", 0, nullptr), 1);
}

TEST_F(Bmp, ZeroWidthWithTheLargestHeightReadsNothing) {
    // Rows without pixels read nothing, so there is nothing to run out of.
    BmpSpec s = rgb_3x2();
    s.width = 0;
    s.height = INT32_MAX;
    kvzatest::ImagePtr image;
    EXPECT_EQ(load_into(reader(), build_bmp(s), 1, 1, image), 0);
    EXPECT_TRUE(is_clear(pix(image, 0, 0)));
}
