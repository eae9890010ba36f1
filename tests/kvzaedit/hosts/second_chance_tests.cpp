// The input host's second try: a file the extension's reader refuses goes,
// once, to the reader its first bytes name; the messages when nothing reads
// it; the memory an open costs when a header promises more than the file has.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "dynlib.h"
#include "host_test_support.h"
#include "image_alloc.h"
#include "image_block.h"
#include "ini_file.h"
#include "input_host.h"

namespace {

using hoststest::Fake;
using hoststest::PutU32;
using hoststest::ReadFile;
using hoststest::WriteFile;
using kvzaedit::LoadImageFile;

const std::string kPng("\x89PNG\r\n\x1A\n", 8);
const std::string kIcon("\0\0\1\0", 4);
const std::string kTga("\0\0\x0A\0\0\0\0\0\0\0\0\0\3\0\1\0\x20\0", 18);  // RLE, 3 x 1

// A 24-bit bitmap header for width x height with data_bytes of pixels.
std::string BmpHeader(int32_t width, int32_t height, uint32_t data_bytes) {
    std::string f = "BM";
    for (uint32_t v : {54 + data_bytes, 0u, 54u, 40u, static_cast<uint32_t>(width),
                       static_cast<uint32_t>(height), 24u << 16 | 1u, 0u, 0u, 0u, 0u, 0u, 0u})
        PutU32(f, v);
    return f;
}

struct Loaded {
    KvzaImage *image = nullptr;
    ~Loaded() { kvzaedit::ReleaseImage(image); }
};

// fake_kin reads first; fake_kin_second is InPlug's png and jpg reader, and
// the wide reader's name finds a fake in the program's folder.
class SecondTry : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_dir = kvzaedit::ProgramDir();
        kvzaedit::SetProgramDir(HOSTS_FAKE_DIR "/wide");
        kvzaedit::SetIniPath(dir.file("KVZAEDIT.INI"));
        const std::string second = Fake("fake_kin_second");
        WriteFile(dir.file("KVZAEDIT.INI"), "[InPlug]\npng=" + second + "\njpg=" + second + "\n");
    }
    void TearDown() override { kvzaedit::SetProgramDir(saved_dir); }

    // Opens a file of head and script; returns the log and clears it.
    std::string Load(const std::string &head, const std::string &script,
                     const std::string &library = Fake("fake_kin")) {
        ui.messages.clear();
        kvzaedit::ReleaseImage(loaded.image);
        WriteFile(path, head + " " + script);
        loaded.image = LoadImageFile(path, library, ui);
        const std::string log = ReadFile(path + ".log");
        std::remove((path + ".log").c_str());
        return log;
    }

    std::string saved_dir;
    hoststest::TempDir dir;
    hoststest::FakeUi ui;
    std::string path = dir.file("picture.bmp");
    Loaded loaded;
};

TEST_F(SecondTry, OrderOfTriesAndMessages) {
    const std::string first = "imgs 0\npixs 0\nload 0 2x1 clear=1 progress=0\n";
    const std::string refused = "imgs 0\npixs 0\npixs 128\n";
    const std::string wide = "wide imgs 0\nwide pixs 0\nwide load 0 2x1 clear=1 progress=0\n";
    const struct {
        std::string head, script, log, message;  // message empty: loaded
    } cases[] = {
        {kPng, "pixs0=0 second.pixs0=1",
         refused + "second imgs 0\nsecond pixs 0\nsecond load 0 2x1 clear=1 progress=0\n", ""},
        // The second reader gets a new, clear image of the size it reports.
        {"\xFF\xD8\xFF", "load=1 second.load=0 second.w=3 second.h=2",
         first + "second imgs 0\nsecond pixs 0\nsecond load 0 3x2 clear=1 progress=0\n", ""},
        {"BM", "imgs0=0 wide.imgs0=1", "imgs 0\nimgs 128\n" + wide, ""},
        {kIcon, "load=1 wide.load=0", first + wide, ""},
        {kTga, "load=1 wide.load=0", first + wide, ""},
        {kPng, "second.load=1", first, ""},  // accepted: no second try
        {"", "pixs0=0", refused, "bad file format"},
        {kTga.substr(0, 16) + "\x0C", "pixs0=0", refused, "bad file format"},  // 12 bits
        // Of two refusals, the word of the reader that got further.
        {kPng, "load=1 second.pixs0=0", first + "second imgs 0\nsecond pixs 0\nsecond pixs 128\n",
         "load failed"},
        {"BM", "pixs0=0 wide.pixs0=1 wide.load=1", refused + wide, "load failed"},
        {kPng, "load=2 second.load=0", first, "load failed"},  // cancel
        {kPng, "w=2147483647 h=2147483647", "imgs 0\npixs 0\n", "out of memory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Load(c.head, c.script), c.log);
        EXPECT_EQ(loaded.image == nullptr, !c.message.empty());
        EXPECT_EQ(ui.messages, c.message.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{c.message});
    }
}

TEST_F(SecondTry, SettingsChooseTheFirstReader) {
    WriteFile(dir.file("KVZAEDIT.INI"), "[InPlug]\nbmp=" + Fake("fake_kin") + "\n");
    const std::string library = kvzaedit::PluginLibraryName(kvzaedit::PluginDir::Input, path);
    EXPECT_EQ(Load("BM", "pixs0=0 wide.pixs0=1", library),
              "imgs 0\npixs 0\npixs 128\nwide imgs 0\nwide pixs 0\n"
              "wide load 0 2x1 clear=1 progress=0\n");
}

TEST_F(SecondTry, SameLibraryIsNotTriedTwiceEvenUnderAnotherPath) {
    for (const std::string &first :
         {Fake("fake_kin_second"), std::string(HOSTS_FAKE_DIR "/./fake_kin_second.so")}) {
        EXPECT_EQ(Load(kPng, "pixs0=0", first), "second imgs 0\nsecond pixs 0\nsecond pixs 128\n");
        EXPECT_EQ(ui.messages, std::vector<std::string>{"bad file format"});
    }
}

TEST_F(SecondTry, FileThatCannotBeOpened) {
    for (const std::string &name : {dir.file("missing.bmp"), dir.path()}) {
        hoststest::FakeUi fresh;
        EXPECT_EQ(LoadImageFile(name, Fake("fake_kin"), fresh), nullptr);
        EXPECT_EQ(fresh.messages, std::vector<std::string>{"file not found"}) << name;
    }
}

// ---- the real readers of the output folder ----

class RealSecondTry : public SecondTry {
  protected:
    void SetUp() override {
        SecondTry::SetUp();
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
        WriteFile(dir.file("KVZAEDIT.INI"), "");
    }
    static bool Have(const char *name) { return hoststest::Exists(hoststest::Deliverable(name)); }

    KvzaImage *Open(const std::string &file, const std::string &library, Loaded &out) {
        out.image = LoadImageFile(file, library, ui);
        return out.image;
    }
    static void ExpectSame(const KvzaImage *a, const KvzaImage *b) {
        ASSERT_EQ(a->width, b->width);
        ASSERT_EQ(a->height, b->height);
        EXPECT_EQ(a->pixtype, b->pixtype);
        EXPECT_EQ(std::memcmp(a, b, kvzaedit::ImageBlockBytes(a->width, a->height)), 0);
    }
};

TEST_F(RealSecondTry, MisnamedPngAndJpegOpenAsUnderTheirOwnExtension) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    int opened = 0;
    for (const std::string ext : {"png", "jpg"}) {
        const std::string own = dir.file("own." + ext);
        if (!Have(("kin" + ext + ".so").c_str()) ||
            std::system(("convert -size 5x3 gradient:red-blue " + own).c_str()) != 0)
            continue;
        WriteFile(path, ReadFile(own));
        Loaded misnamed, right;
        ASSERT_NE(Open(path, "kinbmp.so", misnamed), nullptr) << ext;
        ASSERT_NE(Open(own, "kin" + ext + ".so", right), nullptr) << ext;
        EXPECT_TRUE(ui.messages.empty());
        ExpectSame(misnamed.image, right.image);
        ++opened;
    }
    if (opened < 2) GTEST_SKIP() << "reader or ImageMagick missing for " << 2 - opened;
}

TEST_F(RealSecondTry, BitmapNamedTgaGetsTheWideReadersAnswer) {
    if (!Have("kintga.so") || !Have("kinwide.so")) GTEST_SKIP() << "readers not built";
    WriteFile(path, BmpHeader(1, 1, 4) + std::string("\x10\x20\x30\x00", 4));
    Loaded direct, misnamed;
    Open(path, "kinwide.so", direct);
    const std::vector<std::string> direct_messages = ui.messages;
    ui.messages.clear();
    const std::string tga = dir.file("picture.tga");
    WriteFile(tga, ReadFile(path));
    Open(tga, "kintga.so", misnamed);
    EXPECT_EQ(ui.messages, direct_messages);
    ASSERT_EQ(misnamed.image == nullptr, direct.image == nullptr);
    if (direct.image != nullptr) ExpectSame(misnamed.image, direct.image);
}

// ImageMagick stores a 256-pixel icon entry as a PNG file, which the icon
// reader of the extension refuses and the wide reader decodes.
TEST_F(RealSecondTry, IconWithPngEntryOpensThroughTheWideReader) {
    if (!Have("kinbmp.so") || !Have("kinwide.so")) GTEST_SKIP() << "readers not built";
    const std::string ico = dir.file("large.ico");
    if (std::system(("convert -size 256x256 gradient:'rgba(255,0,0,0.5)'-blue " + ico).c_str()) !=
        0)
        GTEST_SKIP() << "ImageMagick missing";
    Loaded icon, wide;
    ASSERT_NE(Open(ico, "kinbmp.so", icon), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_NE(Open(ico, "kinwide.so", wide), nullptr);
    ExpectSame(icon.image, wide.image);
    EXPECT_EQ(icon.image->width, 256);
}

long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

TEST_F(RealSecondTry, HeaderClaimingMorePixelsThanTheFileHoldsCostsNoMemory) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    WriteFile(path, BmpHeader(30000, 30000, 64) + std::string(64, '\x40'));  // 118 bytes
    std::ofstream("/proc/self/clear_refs") << "5";                           // a new peak from here
    const long before = PeakResidentKiB();
    Loaded loaded;
    EXPECT_EQ(Open(path, "kinbmp.so", loaded), nullptr);
    EXPECT_EQ(ui.messages.size(), 1u);
    ASSERT_GT(before, 0);
    EXPECT_LT(PeakResidentKiB() - before, 64 * 1024);
}

// 30000 x 40: long rows, and a block large enough to be mapped.
TEST_F(RealSecondTry, LongRowsOpen) {
    if (!Have("kinbmp.so")) GTEST_SKIP() << "kinbmp.so not built";
    const int32_t width = 30000, height = 40;
    std::string bmp = BmpHeader(width, height, 3 * width * height);
    for (int i = 0; i < width * height; ++i)
        bmp += {char(i & 0xFF), char(i / width * 6), char(i >> 8 & 0xFF)};
    WriteFile(path, bmp);
    Loaded loaded;
    ASSERT_NE(Open(path, "kinbmp.so", loaded), nullptr);
    for (int i : {0, 12345, width - 1, width, width * height - 1}) {
        // Stored bottom row first.
        const int y = height - 1 - i / width;
        const auto rgb = hoststest::RgbOf(kvzatest::at(loaded.image, i % width, y));
        EXPECT_EQ(rgb.r, (i >> 8) & 0xFF);
        EXPECT_EQ(rgb.g, i / width * 6);
        EXPECT_EQ(rgb.b, i & 0xFF);
    }
}

}  // namespace
