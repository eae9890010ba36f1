// The input host on its own readers: the order of kin_imgs / kin_pixs /
// kin_load with the offsets 0 and 128, each message, and the real BMP and
// TGA readers through LoadImageFile.
#include "input_host.h"

#include <gtest/gtest.h>

#include "dynlib.h"
#include "host_test_support.h"
#include "image_alloc.h"
#include "image_block.h"
#include "ini_file.h"

namespace {

using hoststest::Deliverable;
using hoststest::Fake;
using hoststest::FakeUi;
using hoststest::KvzOfBytes;
using hoststest::ReadFile;
using hoststest::TempDir;
using hoststest::WriteFile;
using kvzaedit::LoadImageFile;

// Owns an image the host returned.
struct Loaded {
    KvzaImage *image = nullptr;
    ~Loaded() { kvzaedit::ReleaseImage(image); }
};

class OwnReader : public ::testing::Test {
  protected:
    // Loads a file whose text steers the fake reader.
    KvzaImage *Load(const std::string &script, const std::string &library = "fake_kin") {
        path = dir.file("picture.fake");
        WriteFile(path, script);
        loaded.image = LoadImageFile(path, Fake(library), ui);
        return loaded.image;
    }
    std::string Log() const { return ReadFile(path + ".log"); }

    TempDir dir;
    FakeUi ui;
    std::string path;
    Loaded loaded;
};

TEST_F(OwnReader, LoadsAtOffsetZero) {
    KvzaImage *image = Load("w=3 h=2");
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->pixtype, 77);  // set by the reader, kept
    // The reader got a cleared image and no progress record.
    EXPECT_EQ(Log(), "imgs 0\npixs 0\nload 0 3x2 clear=1 progress=0\n");
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const KvzaPixel &p = kvzatest::at(image, x, y);
            EXPECT_EQ(p.c, 0.0f);
            EXPECT_EQ(p.s, static_cast<float>(x));
            EXPECT_EQ(p.w, static_cast<float>(y));
            EXPECT_EQ(p.a, 1.0f);
        }
    }
}

TEST_F(OwnReader, PrefixFoundByImageCount) {
    KvzaImage *image = Load("imgs0=0 imgs128=1 pixs0=0 pixs128=4 w=2 h=2");
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    // With the offset already 128, kin_pixs is asked only there.
    EXPECT_EQ(Log(), "imgs 0\nimgs 128\npixs 128\nload 128 2x2 clear=1 progress=0\n");
    EXPECT_EQ(kvzatest::at(image, 1, 1).c, 128.0f);
}

TEST_F(OwnReader, NoImageAtEitherOffsetIsABadFormat) {
    EXPECT_EQ(Load("imgs0=0 imgs128=0"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"bad file format"});
    EXPECT_EQ(Log(), "imgs 0\nimgs 128\n");
}

TEST_F(OwnReader, PrefixFoundBySizeQuery) {
    KvzaImage *image = Load("imgs0=1 pixs0=0 pixs128=1 w=1 h=1");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Log(), "imgs 0\npixs 0\npixs 128\nload 128 1x1 clear=1 progress=0\n");
    EXPECT_EQ(kvzatest::at(image, 0, 0).c, 128.0f);
}

TEST_F(OwnReader, WithoutImageCountStartsAtZero) {
    KvzaImage *image = Load("pixs0=0 pixs128=2 w=2 h=1", "fake_kin_noimgs");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Log(), "pixs 0\npixs 128\nload 128 2x1 clear=1 progress=0\n");
}

TEST_F(OwnReader, BadFormatAfterBothOffsets) {
    EXPECT_EQ(Load("pixs0=0 pixs128=0"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"bad file format"});
    EXPECT_EQ(Log(), "imgs 0\npixs 0\npixs 128\n");
}

TEST_F(OwnReader, BadFormatAtPrefixIsNotRetriedAtZero) {
    EXPECT_EQ(Load("imgs0=0 imgs128=1 pixs0=5 pixs128=0"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"bad file format"});
    EXPECT_EQ(Log(), "imgs 0\nimgs 128\npixs 128\n");
}

TEST_F(OwnReader, FailedLoad) {
    EXPECT_EQ(Load("load=1"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"load failed"});
}

TEST_F(OwnReader, CancelledLoadIsAFailedLoad) {
    EXPECT_EQ(Load("load=2"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"load failed"});
}

TEST_F(OwnReader, EmptySizeCannotBeAllocated) {
    EXPECT_EQ(Load("pixs0=1 w=0 h=5"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"out of memory"});
    EXPECT_EQ(Log(), "imgs 0\npixs 0\n");  // kin_load never runs
}

TEST_F(OwnReader, SizeBeyondMemoryIsRefusedBeforeLoading) {
    EXPECT_EQ(Load("pixs0=1 w=2147483647 h=2147483647"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"out of memory"});
}

TEST_F(OwnReader, LibraryIsUnloadedAfterwards) {
    ASSERT_NE(Load("w=1 h=1"), nullptr);
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_kin")));
    kvzaedit::ReleaseImage(loaded.image);
    EXPECT_EQ(Load("load=1"), nullptr);
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_kin")));
}

TEST_F(OwnReader, LibraryWithoutKinLoadIsTakenAsForeignReader) {
    // It has kin_imgs and kin_pixs but none of the foreign exports.
    EXPECT_EQ(Load("w=1 h=1", "fake_kin_pixs_only"), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"function not found"});
    EXPECT_FALSE(hoststest::Exists(path + ".log"));  // its kin_ exports were not called
}

TEST(LoadImageFile, LibraryThatCannotLoad) {
    FakeUi ui;
    EXPECT_EQ(LoadImageFile("/tmp/x.qqq", "kinqqq.so", ui), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"'kinqqq.so' cannot load"});
}

TEST(LoadImageFile, EmptyLibraryNameCannotLoad) {
    FakeUi ui;
    EXPECT_EQ(LoadImageFile("/tmp/README", "", ui), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"'' cannot load"});
}

// ---- the real readers ----

class RealReaders : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_dir = kvzaedit::ProgramDir();
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
    }
    void TearDown() override { kvzaedit::SetProgramDir(saved_dir); }

    static bool Have(const std::string &name) { return hoststest::Exists(Deliverable(name)); }

    // A 2 x 2 24-bit bitmap, bottom row stored first: bottom red, green; top
    // blue, white.
    static std::string Bmp24() {
        std::string f = "BM";
        hoststest::PutU32(f, 54 + 16);
        hoststest::PutU32(f, 0);
        hoststest::PutU32(f, 54);
        hoststest::PutU32(f, 40);
        hoststest::PutU32(f, 2);
        hoststest::PutU32(f, 2);
        hoststest::PutU16(f, 1);
        hoststest::PutU16(f, 24);
        for (int i = 0; i < 6; ++i) hoststest::PutU32(f, i == 1 ? 16 : 0);
        f += std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8);  // red, green, pad
        f += std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 8);  // blue, white, pad
        return f;
    }

    static void ExpectColour(KvzaImage *image, int x, int y, int r, int g, int b) {
        const KvzaPixel want = KvzOfBytes(r, g, b);
        const KvzaPixel &got = kvzatest::at(image, x, y);
        EXPECT_NEAR(got.c, want.c, 1e-6) << x << "," << y;
        EXPECT_NEAR(got.s, want.s, 1e-6) << x << "," << y;
        EXPECT_NEAR(got.w, want.w, 1e-6) << x << "," << y;
        EXPECT_EQ(got.a, 1.0f) << x << "," << y;
    }

    std::string saved_dir;
    TempDir dir;
    FakeUi ui;
    Loaded loaded;
};

TEST_F(RealReaders, BmpThroughDefaultName) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    kvzaedit::SetIniPath(dir.file("KVZAEDIT.INI"));
    const std::string path = dir.file("picture.BMP");
    WriteFile(path, Bmp24());
    const std::string library = kvzaedit::PluginLibraryName(kvzaedit::PluginDir::Input, path);
    ASSERT_EQ(library, "kinbmp.so");
    loaded.image = LoadImageFile(path, library, ui);
    ASSERT_NE(loaded.image, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(loaded.image->width, 2);
    EXPECT_EQ(loaded.image->height, 2);
    EXPECT_EQ(loaded.image->pixtype, 20);  // "RGB 24bit"
    ExpectColour(loaded.image, 0, 0, 0, 0, 255);
    ExpectColour(loaded.image, 1, 0, 255, 255, 255);
    ExpectColour(loaded.image, 0, 1, 255, 0, 0);
    ExpectColour(loaded.image, 1, 1, 0, 255, 0);
}

TEST_F(RealReaders, BmpAfterA128BytePrefix) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    const std::string path = dir.file("prefixed.bmp");
    WriteFile(path, std::string(128, 'P') + Bmp24());
    loaded.image = LoadImageFile(path, "kinbmp.so", ui);
    ASSERT_NE(loaded.image, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ExpectColour(loaded.image, 0, 1, 255, 0, 0);
}

TEST_F(RealReaders, NotABmp) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    const std::string path = dir.file("junk.bmp");
    WriteFile(path, std::string(300, 'j'));
    EXPECT_EQ(LoadImageFile(path, "kinbmp.so", ui), nullptr);
    // kin_imgs finds no image at 0 or 128, and no other reader is named by
    // the first bytes.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"bad file format"});
}

TEST_F(RealReaders, TruncatedBmpFailsToLoad) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    std::string bytes = Bmp24();
    bytes[2] = 54;  // file size field small enough for kin_imgs
    bytes.resize(60);
    const std::string path = dir.file("short.bmp");
    WriteFile(path, bytes);
    EXPECT_EQ(LoadImageFile(path, "kinbmp.so", ui), nullptr);
    // The wide reader, tried next, gets no further into the file.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"load failed"});
}

TEST_F(RealReaders, TgaTopFirst) {
    if (!Have("kintga.so")) GTEST_SKIP() << "kintga.so not built";
    std::string f(18, '\0');
    f[2] = 2;   // true colour
    f[12] = 3;  // width 3
    f[14] = 1;  // height 1
    f[16] = 24;
    f[17] = 0x20;                                                 // top row first
    f += std::string("\x10\x20\x30\x00\x00\x00\xFF\xFF\xFF", 9);  // B, G, R
    const std::string path = dir.file("row.tga");
    WriteFile(path, f);
    loaded.image = LoadImageFile(path, "kintga.so", ui);
    ASSERT_NE(loaded.image, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(loaded.image->width, 3);
    EXPECT_EQ(loaded.image->height, 1);
    ExpectColour(loaded.image, 0, 0, 0x30, 0x20, 0x10);
    ExpectColour(loaded.image, 1, 0, 0, 0, 0);
    ExpectColour(loaded.image, 2, 0, 255, 255, 255);
}

}  // namespace
