// The input host on foreign readers: the export look-up, the file buffer and
// the 128-byte prefix, every message, and the conversion of the bitmaps a
// reader hands back (1, 4, 8 and 24 bits, both row orders, padding), with
// bitmaps that do not fit their blocks refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host_test_support.h"
#include "image_alloc.h"
#include "image_block.h"
#include "ini_file.h"
#include "input_host.h"

namespace {

using hoststest::Fake;
using hoststest::FakeUi;
using hoststest::KvzOfBytes;
using hoststest::PutU16;
using hoststest::PutU32;
using hoststest::ReadFile;
using hoststest::TempDir;
using hoststest::WriteFile;
using kvzaedit::LoadImageFile;

// A bitmap header (40 bytes) followed by a colour table.
std::string BitmapInfo(int32_t width, int32_t height, uint16_t bpp,
                       const std::vector<uint32_t> &table = {}) {
    std::string info;
    PutU32(info, 40);
    PutU32(info, static_cast<uint32_t>(width));
    PutU32(info, static_cast<uint32_t>(height));
    PutU16(info, 1);
    PutU16(info, bpp);
    for (int i = 0; i < 6; ++i) PutU32(info, 0);
    for (uint32_t entry : table) PutU32(info, entry);  // 0x00RRGGBB: blue byte first
    return info;
}

// The record the fake reader decodes (see fake_foreign.cpp).
std::string Record(const std::string &info, const std::string &bits, int32_t result = 0,
                   uint32_t flags = 0) {
    std::string r = "FAKEPIC1";
    PutU32(r, static_cast<uint32_t>(result));
    PutU32(r, flags);
    PutU32(r, static_cast<uint32_t>(info.size()));
    PutU32(r, static_cast<uint32_t>(bits.size()));
    return r + info + bits;
}

// A colour table of n entries, entry i = (red i, green 2i, blue 3i) mod 256.
std::vector<uint32_t> Ramp(int n) {
    std::vector<uint32_t> table;
    for (int i = 0; i < n; ++i) {
        const uint32_t r = i & 0xFF, g = (2 * i) & 0xFF, b = (3 * i) & 0xFF;
        table.push_back(r << 16 | g << 8 | b);
    }
    return table;
}

KvzaPixel RampColour(int i) {
    return KvzOfBytes(i & 0xFF, (2 * i) & 0xFF, (3 * i) & 0xFF);
}

void ExpectPixel(const KvzaPixel &got, const KvzaPixel &want, const std::string &where) {
    EXPECT_EQ(got.c, want.c) << where;
    EXPECT_EQ(got.s, want.s) << where;
    EXPECT_EQ(got.w, want.w) << where;
    EXPECT_EQ(got.a, want.a) << where;
}

class ForeignReader : public ::testing::Test {
  protected:
    KvzaImage *Load(const std::string &bytes, const std::string &library = "fake_foreign") {
        WriteFile(path, bytes);
        kvzaedit::ReleaseImage(image);
        image = LoadImageFile(path, Fake(library), ui);
        return image;
    }
    std::string Log() const { return ReadFile(path + ".log"); }
    void TearDown() override { kvzaedit::ReleaseImage(image); }

    TempDir dir;
    std::string path = dir.file("picture.fake");
    FakeUi ui;
    KvzaImage *image = nullptr;
};

using Messages = std::vector<std::string>;

// ---- exports ----

TEST_F(ForeignReader, MissingPluginInfoExport) {
    // kin_pixs without kin_load makes it a foreign reader, which lacks
    // GetPluginInfo.
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0')), "fake_foreign_no_info"),
              nullptr);
    EXPECT_EQ(ui.messages, Messages{"function not found"});
    EXPECT_FALSE(hoststest::Exists(path + ".log"));
}

TEST_F(ForeignReader, MissingPictureInfoExport) {
    EXPECT_EQ(
        Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0')), "fake_foreign_no_pictureinfo"),
        nullptr);
    EXPECT_EQ(ui.messages, Messages{"function not found"});
}

TEST_F(ForeignReader, MissingPictureExport) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0')), "fake_foreign_no_picture"),
              nullptr);
    EXPECT_EQ(ui.messages, Messages{"function not found"});
}

TEST_F(ForeignReader, LibraryWithKinPixsButNoKinLoadReadsAsForeign) {
    ASSERT_NE(Load(Record(BitmapInfo(1, 1, 24), std::string("\x01\x02\x03\x00", 4)),
                   "fake_foreign_kin_pixs"),
              nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ExpectPixel(kvzatest::at(image, 0, 0), KvzOfBytes(3, 2, 1), "(0,0)");
}

// ---- file, buffer and format test ----

TEST_F(ForeignReader, MissingFile) {
    kvzaedit::ReleaseImage(image);
    image = LoadImageFile(dir.file("absent.fake"), Fake("fake_foreign"), ui);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(ui.messages, Messages{"file not found"});
}

TEST_F(ForeignReader, FolderIsNotFound) {
    // A folder opens read-only on this system but is no file to load.
    kvzaedit::ReleaseImage(image);
    image = LoadImageFile(dir.path(), Fake("fake_foreign"), ui);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(ui.messages, Messages{"file not found"});
}

TEST_F(ForeignReader, PassesTheWholeFileInMemory) {
    const std::string bytes = Record(BitmapInfo(1, 1, 24), std::string(4, '\0'));
    ASSERT_NE(Load(bytes), nullptr);
    EXPECT_EQ(Log(), "supported 1\nget len=" + std::to_string(bytes.size()) +
                         " flag=1 progress=0 ldata=0\n");
}

TEST_F(ForeignReader, PrefixOf128BytesIsSkipped) {
    const std::string record = Record(BitmapInfo(1, 1, 24), std::string("\x10\x20\x30\x00", 4));
    ASSERT_NE(Load(std::string(128, '\x55') + record), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Log(), "supported 0\nsupported 1\nget len=" + std::to_string(record.size()) +
                         " flag=1 progress=0 ldata=0\n");
    ExpectPixel(kvzatest::at(image, 0, 0), KvzOfBytes(0x30, 0x20, 0x10), "(0,0)");
}

TEST_F(ForeignReader, NotSupportedAtEitherOffset) {
    EXPECT_EQ(Load(std::string(129, 'x')), nullptr);
    EXPECT_EQ(ui.messages, Messages{"not support"});
    EXPECT_EQ(Log(), "supported 0\nsupported 0\n");
}

TEST_F(ForeignReader, FileOf128BytesIsAskedOnce) {
    EXPECT_EQ(Load(std::string(128, 'x')), nullptr);
    EXPECT_EQ(ui.messages, Messages{"not support"});
    EXPECT_EQ(Log(), "supported 0\n");
}

TEST_F(ForeignReader, EmptyFileIsAskedOnce) {
    EXPECT_EQ(Load(""), nullptr);
    EXPECT_EQ(ui.messages, Messages{"not support"});
    EXPECT_EQ(Log(), "supported 0\n");
}

// ---- GetPicture and the handles ----

TEST_F(ForeignReader, PictureCannotGet) {
    // The reader fails but leaves both handles set: they are freed (the leak
    // checker of the sanitizer build would notice otherwise).
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0'), 3)), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, HeaderHandleMissing) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0'), 0, 1)), nullptr);
    EXPECT_EQ(ui.messages, Messages{"BITMAPINFO cannot lock"});
}

TEST_F(ForeignReader, HeaderHandleEmpty) {
    EXPECT_EQ(Load(Record("", std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"BITMAPINFO cannot lock"});
}

TEST_F(ForeignReader, BitsHandleMissing) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0'), 0, 2)), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Image cannot lock"});
}

TEST_F(ForeignReader, BitsHandleEmpty) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24), "")), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Image cannot lock"});
}

TEST_F(ForeignReader, SameHandleForHeaderAndBitsIsFreedOnce) {
    // The 40 header bytes double as the rows of a 1 x 1 picture: the first
    // three bytes (40, 0, 0) read as blue, green, red.
    ASSERT_NE(Load(Record(BitmapInfo(1, 1, 24), "", 0, 6)), nullptr);
    ExpectPixel(kvzatest::at(image, 0, 0), KvzOfBytes(0, 0, 40), "(0,0)");
}

// ---- conversion ----

TEST_F(ForeignReader, EightBitTopDown) {
    // 3 x 2, rows padded to 4 bytes; negative height: first stored row on top.
    const std::string bits =
        std::string("\x01\x02\x03\xEE", 4) + std::string("\xFF\x00\x80\xEE", 4);
    ASSERT_NE(Load(Record(BitmapInfo(3, -2, 8, Ramp(256)), bits)), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(image->width, 3);
    ASSERT_EQ(image->height, 2);
    EXPECT_EQ(image->pixtype, 0);
    const int index[2][3] = {{1, 2, 3}, {255, 0, 128}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            ExpectPixel(kvzatest::at(image, x, y), RampColour(index[y][x]),
                        std::to_string(x) + "," + std::to_string(y));
        }
    }
    // The colour table becomes the palette, opaque.
    for (int i = 0; i < 256; ++i) ExpectPixel(image->palette[i], RampColour(i), "palette");
}

TEST_F(ForeignReader, EightBitBottomUp) {
    const std::string bits =
        std::string("\x01\x02\x03\x00", 4) + std::string("\x04\x05\x06\x00", 4);
    ASSERT_NE(Load(Record(BitmapInfo(3, 2, 8, Ramp(256)), bits)), nullptr);
    ExpectPixel(kvzatest::at(image, 0, 1), RampColour(1), "first stored row at the bottom");
    ExpectPixel(kvzatest::at(image, 2, 0), RampColour(6), "last stored row on top");
}

TEST_F(ForeignReader, OneBitMostSignificantFirst) {
    // 10 pixels: 2 bytes of bits, padded to 4.
    const std::string bits("\xA5\x80\x00\x00", 4);  // 1010 0101 10
    ASSERT_NE(Load(Record(BitmapInfo(10, 1, 1, {0x000000, 0xFFFFFF}), bits)), nullptr);
    const int expect[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
    for (int x = 0; x < 10; ++x) {
        ExpectPixel(kvzatest::at(image, x, 0),
                    expect[x] ? KvzOfBytes(255, 255, 255) : KvzOfBytes(0, 0, 0), std::to_string(x));
    }
}

TEST_F(ForeignReader, FourBitHighNibbleFirst) {
    // 3 x 2 top-down: each row 2 bytes of bits, padded to 4.
    const std::string bits =
        std::string("\x1F\x20\x00\x00", 4) + std::string("\xE3\x40\x00\x00", 4);
    ASSERT_NE(Load(Record(BitmapInfo(3, -2, 4, Ramp(16)), bits)), nullptr);
    const int index[2][3] = {{1, 15, 2}, {14, 3, 4}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            ExpectPixel(kvzatest::at(image, x, y), RampColour(index[y][x]),
                        std::to_string(x) + "," + std::to_string(y));
        }
    }
}

TEST_F(ForeignReader, TwentyFourBitsBlueFirstWithPadding) {
    // 2 x 2 bottom-up: 6 bytes of pixels and 2 of padding per row.
    const std::string bits = std::string("\x01\x02\x03\x04\x05\x06\x99\x99", 8) +
                             std::string("\xFF\x00\x00\x00\xFF\x00\x99\x99", 8);
    ASSERT_NE(Load(Record(BitmapInfo(2, 2, 24), bits)), nullptr);
    ExpectPixel(kvzatest::at(image, 0, 1), KvzOfBytes(3, 2, 1), "(0,1)");
    ExpectPixel(kvzatest::at(image, 1, 1), KvzOfBytes(6, 5, 4), "(1,1)");
    ExpectPixel(kvzatest::at(image, 0, 0), KvzOfBytes(0, 0, 255), "(0,0)");
    ExpectPixel(kvzatest::at(image, 1, 0), KvzOfBytes(0, 255, 0), "(1,0)");
}

TEST_F(ForeignReader, ThirtyTwoBitsStayTransparent) {
    ASSERT_NE(Load(Record(BitmapInfo(2, 3, 32), std::string(24, '\x7F'))), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(image->width, 2);
    ASSERT_EQ(image->height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 2; ++x) ExpectPixel(kvzatest::at(image, x, y), {0, 0, 0, 0}, "32");
    }
}

TEST_F(ForeignReader, SixteenBitsStayTransparent) {
    ASSERT_NE(Load(Record(BitmapInfo(1, 1, 16), std::string(4, '\x7F'))), nullptr);
    ExpectPixel(kvzatest::at(image, 0, 0), {0, 0, 0, 0}, "16");
}

// ---- bitmaps that do not fit their blocks ----

TEST_F(ForeignReader, RowsExactlyFillingTheBlockAreAccepted) {
    ASSERT_NE(Load(Record(BitmapInfo(3, 2, 24), std::string(24, '\0'))), nullptr);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ForeignReader, BitsOneByteShortAreRefused) {
    EXPECT_EQ(Load(Record(BitmapInfo(3, 2, 24), std::string(23, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, PaddingOfTheLastRowIsRequired) {
    // 1-bit, 9 pixels: 2 bytes of data but 4 bytes per row.
    EXPECT_EQ(Load(Record(BitmapInfo(9, 1, 1, {0, 0xFFFFFF}), std::string(2, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, ShortColourTableIsRefused) {
    std::vector<uint32_t> table = Ramp(255);  // one entry short of 256
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 8, table), std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, ShortHeaderIsRefused) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, 1, 24).substr(0, 39), std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, HugeSizeWithSmallBitsIsRefused) {
    EXPECT_EQ(Load(Record(BitmapInfo(0x7FFFFFFF, -0x7FFFFFFF, 24), std::string(64, '\0'))),
              nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, MostNegativeHeightIsRefused) {
    EXPECT_EQ(Load(Record(BitmapInfo(1, INT32_MIN, 32), std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"Picture cannot get"});
}

TEST_F(ForeignReader, HugeUnconvertedDepthIsOutOfMemory) {
    EXPECT_EQ(Load(Record(BitmapInfo(0x7FFFFFFF, 0x7FFFFFFF, 32), std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"out of memory"});
}

TEST_F(ForeignReader, EmptyPictureCannotBeAllocated) {
    EXPECT_EQ(Load(Record(BitmapInfo(0, 1, 24), std::string(4, '\0'))), nullptr);
    EXPECT_EQ(ui.messages, Messages{"out of memory"});
}

TEST_F(ForeignReader, LibraryIsUnloadedAfterwards) {
    ASSERT_NE(Load(Record(BitmapInfo(1, 1, 24), std::string(4, '\0'))), nullptr);
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_foreign")));
    EXPECT_EQ(Load("nothing"), nullptr);
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_foreign")));
}

}  // namespace
