// The output host: each message of SaveWithPlugin, the table handed to the
// save dialog, the progress dialog around the save, valid set only by a
// successful save, the library unloaded on every path; a real save through
// the BMP writer read back by the BMP reader; the file a save replaces kept
// whole by failures, cancels and full disks; the plug-in formats listed.
#include "output_host.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dynlib.h"
#include "host_test_support.h"
#include "image_alloc.h"
#include "input_host.h"
#include "safe_replace.h"

namespace {

using hoststest::Fake;
using hoststest::FakeUi;
using hoststest::ReadFile;
using hoststest::TempDir;
using hoststest::WriteFile;
using kvzaedit::SaveWithPlugin;
using Messages = std::vector<std::string>;

// Entries of a folder: a temporary file left behind shows here.
size_t EntriesIn(const std::string &folder) {
    const std::filesystem::directory_iterator it(folder);
    return static_cast<size_t>(std::distance(begin(it), end(it)));
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A progress callback that stops the save a quarter of the way in.
int32_t StopAQuarterIn(void *, uint32_t done, uint32_t total) {
    return done >= total / 4 ? 1 : 0;
}

class SaveHost : public ::testing::Test {
  protected:
    void SetUp() override {
        image = kvzaedit::NewImage(nullptr, 3, 2);
        ASSERT_NE(image, nullptr);
        ui.choice.type = 20;
        ui.choice.switches = 5;
        ui.choice.track[0] = 7;
        ui.choice.track[1] = 9;
    }
    void TearDown() override { kvzaedit::ReleaseImage(image); }

    // The fake writer's behaviour: table result and save status.
    void Steer(int table_result, int save_status) {
        image->reserved = static_cast<uint16_t>(table_result | save_status << 8);
    }
    int Save(const std::string &library) {
        return SaveWithPlugin(out, Fake(library), image, &options, ui);
    }

    TempDir dir;
    std::string out = dir.file("out.fake");
    KvzaImage *image = nullptr;
    KotSaveOptions options{};
    FakeUi ui;
};

TEST_F(SaveHost, SuccessSetsValidAndPassesTheChoices) {
    EXPECT_EQ(Save("fake_kot"), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(options.valid, 1);
    EXPECT_EQ(options.type, 20);
    // The writer got the dialog's choices (valid still 0 then) and the
    // progress record.
    EXPECT_EQ(ReadFile(out), "type=20 switches=5 valid=0 track0=7 track1=9 progress=1");
    EXPECT_EQ(ui.dialog_calls, 1);
    EXPECT_EQ(ui.open_calls, 1);
    EXPECT_EQ(ui.close_calls, 1);
    EXPECT_GT(ui.callbacks, 0);  // the writer reported through the dialog's record
    EXPECT_EQ(ui.progress.done, 6u);
    EXPECT_EQ(ui.progress.total, 6u);
}

TEST_F(SaveHost, DialogSeesThePluginsTableAndTheBufferSize) {
    options.type = 41;
    options.switches = 3;
    ASSERT_EQ(Save("fake_kot"), 0);
    EXPECT_EQ(ui.seen_table.track_count, 1);
    EXPECT_EQ(ui.seen_table.switch_mask, 1);
    ASSERT_NE(ui.seen_table.switch_name[0], nullptr);
    EXPECT_EQ(ui.seen_table.track[0].max, 10);
    EXPECT_EQ(ui.seen_table.track[3].position, KOT_USABLE_TABLE_SIZE);
    EXPECT_EQ(ui.seen_table.usable[2], 1u << 4);  // id 20
    // The dialog starts from the options as they were.
    EXPECT_EQ(ui.seen_options.type, 41);
    EXPECT_EQ(ui.seen_options.switches, 3);
}

TEST_F(SaveHost, SaveWithoutProgressDialog) {
    ui.give_progress = false;
    EXPECT_EQ(Save("fake_kot"), 0);
    EXPECT_EQ(ReadFile(out), "type=20 switches=5 valid=0 track0=7 track1=9 progress=0");
    EXPECT_EQ(ui.close_calls, 1);
    EXPECT_EQ(options.valid, 1);
}

TEST_F(SaveHost, DialogNotConfirmed) {
    ui.dialog_result = 1;
    options.type = 41;
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(options.type, 41);
    EXPECT_EQ(options.valid, 0);
    EXPECT_EQ(ui.open_calls, 0);
    EXPECT_FALSE(hoststest::Exists(out));  // kot_save never ran
}

TEST_F(SaveHost, SaveFailed) {
    Steer(0, 1);
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_EQ(ui.messages, Messages{"failed"});
    EXPECT_EQ(options.valid, 0);
    EXPECT_EQ(ui.open_calls, 1);
    EXPECT_EQ(ui.close_calls, 1);
}

TEST_F(SaveHost, SaveCanceled) {
    Steer(0, 2);
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_EQ(ui.messages, Messages{"canceled"});
    EXPECT_EQ(options.valid, 0);
    EXPECT_EQ(ui.close_calls, 1);
}

TEST_F(SaveHost, OtherStatusCountsAsSaved) {
    Steer(0, 3);
    EXPECT_EQ(Save("fake_kot"), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(options.valid, 1);
}

TEST_F(SaveHost, TableFailed) {
    Steer(1, 0);
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_EQ(ui.messages, Messages{"'kot_getusabletbl_img' failed"});
    EXPECT_EQ(ui.dialog_calls, 0);
}

TEST_F(SaveHost, TableExportMissing) {
    EXPECT_EQ(Save("fake_kot_no_table"), 1);
    EXPECT_EQ(ui.messages, Messages{"'kot_getusabletbl_img' not found"});
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_kot_no_table")));
}

TEST_F(SaveHost, SaveExportMissing) {
    EXPECT_EQ(Save("fake_kot_no_save"), 1);
    EXPECT_EQ(ui.messages, Messages{"'kot_save' not found"});
    EXPECT_EQ(ui.dialog_calls, 0);
    EXPECT_FALSE(hoststest::IsLoaded(Fake("fake_kot_no_save")));
}

TEST_F(SaveHost, LibraryIsUnloadedOnEveryPath) {
    const std::string lib = Fake("fake_kot");
    EXPECT_EQ(Save("fake_kot"), 0);
    EXPECT_FALSE(hoststest::IsLoaded(lib));
    Steer(1, 0);
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_FALSE(hoststest::IsLoaded(lib));
    Steer(0, 2);
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_FALSE(hoststest::IsLoaded(lib));
    Steer(0, 0);
    ui.dialog_result = 1;
    EXPECT_EQ(Save("fake_kot"), 1);
    EXPECT_FALSE(hoststest::IsLoaded(lib));
}

TEST_F(SaveHost, LibraryThatCannotLoad) {
    EXPECT_EQ(SaveWithPlugin(out, "kotqqq.so", image, &options, ui), 1);
    EXPECT_EQ(ui.messages, Messages{"'kotqqq.so' cannot load"});
}

TEST_F(SaveHost, EmptyLibraryName) {
    EXPECT_EQ(SaveWithPlugin(out, "", image, &options, ui), 1);
    EXPECT_EQ(ui.messages, Messages{"'' cannot load"});
}

TEST_F(SaveHost, NoImageEndsWithoutMessage) {
    EXPECT_EQ(SaveWithPlugin(out, Fake("fake_kot"), nullptr, &options, ui), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.dialog_calls, 0);
}

// ---- the file a save replaces ----

TEST_F(SaveHost, OnlyACompleteFileReplacesTheTarget) {
    const struct {
        const char *name;
        int status;     // 1: the writer fails, 2: the progress callback stops it
        bool old_file;  // a file (mode 0640) was there
        bool link;      // saved through a symbolic link to it
        size_t length;  // of the name; 250 leaves no room for the temporary name
    } cases[] = {
        {"failed over a file", 1, true, false, 8},  {"canceled over a file", 2, true, false, 8},
        {"failed, no file", 1, false, false, 8},    {"canceled, no file", 2, false, false, 8},
        {"saved through a link", 0, true, true, 8}, {"saved, no file", 0, false, false, 8},
        {"saved in place", 0, true, false, 250}};
    const mode_t mask = umask(0);
    umask(mask);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const std::string real = folder.file(std::string(c.length, 'n'));
        const std::string target = c.link ? folder.file("link") : real;
        if (c.old_file) {
            WriteFile(real, "old bytes");
            ASSERT_EQ(chmod(real.c_str(), 0640), 0);
        }
        if (c.link) {
            ASSERT_EQ(symlink(real.c_str(), target.c_str()), 0);
        }
        Steer(0, c.status & 1);
        ui.progress.callback = c.status == 2 ? StopAQuarterIn : &FakeUi::Callback;
        ui.messages.clear();
        EXPECT_EQ(SaveWithPlugin(target, Fake("fake_kot"), image, &options, ui), c.status ? 1 : 0);
        EXPECT_EQ(ui.messages.size(), c.status ? 1u : 0u);
        // The old bytes, or the writer's line (partial or whole).
        const std::string want = c.old_file && c.status ? "old bytes" : "type=20 ";
        EXPECT_EQ(ReadFile(real).substr(0, want.size()), want);
        EXPECT_EQ(ModeOf(real), c.old_file ? 0640u : 0666u & ~mask);
        EXPECT_EQ(EntriesIn(folder.path()), c.link ? 2u : 1u);
        EXPECT_EQ(std::filesystem::is_symlink(target), c.link);
    }
}

TEST(SafeReplace, FailedCommitKeepsTheOldFile) {
    TempDir dir;
    const std::string target = dir.file("picture");
    WriteFile(target, "old bytes");
    kvzaedit::SafeReplace replace(target);
    ASSERT_NE(replace.WritePath(), target);
    unlink(replace.WritePath().c_str());  // the new file is gone before it could be renamed
    EXPECT_FALSE(replace.Commit());
    EXPECT_EQ(ReadFile(target), "old bytes");
}

// ---- the real BMP writer ----

class RealWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!hoststest::Exists(hoststest::Deliverable("kotbmp.so"))) {
            GTEST_SKIP() << "kotbmp.so not built";
        }
        saved_dir = kvzaedit::ProgramDir();
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
        image = kvzaedit::NewImage(nullptr, 2, 2);
        ASSERT_NE(image, nullptr);
        const int rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        for (int i = 0; i < 4; ++i) {
            image->pixels[i] = hoststest::KvzOfBytes(rgb[i][0], rgb[i][1], rgb[i][2]);
        }
    }
    void TearDown() override {
        if (!saved_dir.empty()) kvzaedit::SetProgramDir(saved_dir);
        kvzaedit::ReleaseImage(image);
        kvzaedit::ReleaseImage(back);
    }

    std::string saved_dir;
    TempDir dir;
    KvzaImage *image = nullptr;
    KvzaImage *back = nullptr;
    KotSaveOptions options{};
    FakeUi ui;
};

TEST_F(RealWriter, SavesRgb24AndReadsBack) {
    ui.choice.type = 20;     // "RGB 24bit"
    ui.choice.track[0] = 0;  // no dithering
    ui.choice.track[1] = 128;
    const std::string path = dir.file("saved.bmp");
    ASSERT_EQ(SaveWithPlugin(path, "kotbmp.so", image, &options, ui), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(options.valid, 1);
    // The dialog was offered the BMP writer's table: id 20 usable, 254 not.
    EXPECT_NE(ui.seen_table.usable[20 / 8] & (1u << (20 % 8)), 0u);
    EXPECT_EQ(ui.seen_table.usable[254 / 8] & (1u << (254 % 8)), 0u);
    const std::string bytes = ReadFile(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(bytes.size(), 54u + 2u * 8u);  // two rows of 6 bytes padded to 8

    if (!hoststest::Exists(hoststest::Deliverable("kinbmp.so"))) return;
    back = kvzaedit::LoadImageFile(path, "kinbmp.so", ui);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->width, 2);
    ASSERT_EQ(back->height, 2);
    const int rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) {
        const hoststest::Rgb got = hoststest::RgbOf(back->pixels[i]);
        EXPECT_NEAR(got.r, rgb[i][0], 1) << i;
        EXPECT_NEAR(got.g, rgb[i][1], 1) << i;
        EXPECT_NEAR(got.b, rgb[i][2], 1) << i;
    }
}

// Saves a 160 x 160 image (76 854 bytes as RGB 24bit) over folder/p.bmp,
// holding old_file unless empty, with the BMP writer in a child process, so
// that a file size limit (limit) stays there. Expects the one message, the
// old file untouched (or a partial one) and no other file in folder.
void ExpectSaveLeavesTheOldFile(const std::string &folder, const std::string &old_file,
                                int16_t type, KvzaProgressCallback callback, bool limit,
                                const std::string &message) {
    const std::string target = folder + "/p.bmp";
    if (!old_file.empty()) WriteFile(target, old_file);
    const pid_t child = fork();
    if (child == 0) {
        if (limit) {
            const rlimit size{16384, 16384};
            setrlimit(RLIMIT_FSIZE, &size);
            signal(SIGXFSZ, SIG_IGN);  // writes past the limit fail with EFBIG instead
        }
        KvzaImage *image = kvzaedit::NewImage(nullptr, 160, 160);
        FakeUi ui;
        ui.choice.type = type;
        if (callback != nullptr) ui.progress.callback = callback;
        KotSaveOptions options{};
        const int result = SaveWithPlugin(target, "kotbmp.so", image, &options, ui);
        _exit(result == 1 && ui.messages == Messages{message} ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (old_file.empty()) {
        EXPECT_GT(ReadFile(target).size(), 54u);
        EXPECT_LT(ReadFile(target).size(), 76854u);
    } else {
        EXPECT_EQ(ReadFile(target), old_file);
    }
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST_F(RealWriter, FailedOrCanceledSaveLeavesTheOldFile) {
    const std::string old(8192, 'o');
    const struct {
        const char *name;
        std::string old_file;
        int16_t type;
        KvzaProgressCallback callback;
        bool limit;
        const char *message;
    } cases[] = {{"unsupported type", old, 254, nullptr, false, "failed"},
                 {"canceled", old, 20, StopAQuarterIn, false, "canceled"},
                 {"canceled, no file", "", 20, StopAQuarterIn, false, "canceled"},
                 {"file size limit", old, 20, nullptr, true, "failed"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        ExpectSaveLeavesTheOldFile(folder.path(), c.old_file, c.type, c.callback, c.limit,
                                   c.message);
    }
}

TEST_F(RealWriter, FullDiskLeavesTheOldFile) {
    const std::string folder = dir.file("disk");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    if (geteuid() != 0 || mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a 64 KiB tmpfs cannot be mounted here";
    const struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{folder};
    ExpectSaveLeavesTheOldFile(folder, std::string(8192, 'o'), 20, nullptr, false, "failed");
}

TEST_F(RealWriter, TypeTheWriterDoesNotOfferFails) {
    ui.choice.type = 254;  // "KVZA direct": no writer offers it
    ASSERT_EQ(SaveWithPlugin(dir.file("x.bmp"), "kotbmp.so", image, &options, ui), 1);
    EXPECT_EQ(ui.messages, Messages{"failed"});
    EXPECT_EQ(options.valid, 0);
}

// ---- formats for the file dialogs ----

TEST(PluginFormats, OneFormatPerPluginUnderItsDefaultName) {
    TempDir dir;
    for (const char *name : {"kinbmp.so", "kinjpg.so", "kintga.so", "kotbmp.so", "kotico.so",
                             "kinBMP.so", "kin.so", "kinpng.so.1", "libkvza.so", "kinraw.txt"})
        WriteFile(dir.file(name), "");
    ASSERT_EQ(symlink("kinbmp.so", dir.file("kinico.so").c_str()), 0);   // another name
    ASSERT_EQ(symlink("missing.so", dir.file("kinxyz.so").c_str()), 0);  // a broken link
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("kinpcx.so")));
    const auto listed = [&dir](kvzaedit::PluginDir direction) {
        std::string out;
        for (const kvzaedit::PluginFormat &format :
             kvzaedit::PluginFormats(direction, dir.path())) {
            out += format.name + ":";
            for (const std::string &ext : format.extensions) out += " " + ext;
            out += ";";
        }
        return out;
    };
    EXPECT_EQ(listed(kvzaedit::PluginDir::Input), "BMP: bmp;ICO: ico;JPG: jpg;TGA: tga;");
    EXPECT_EQ(listed(kvzaedit::PluginDir::Output), "BMP: bmp;ICO: ico;");
    // With a reader for the long spelling too, .jpg and .jpeg are one format.
    ASSERT_EQ(symlink("kinjpg.so", dir.file("kinjpeg.so").c_str()), 0);
    EXPECT_EQ(listed(kvzaedit::PluginDir::Input), "BMP: bmp;ICO: ico;JPEG: jpg jpeg;TGA: tga;");
    EXPECT_TRUE(kvzaedit::PluginFormats(kvzaedit::PluginDir::Input, dir.file("none")).empty());
}

}  // namespace

// The writer's hints reach the dialog for the layouts it names, and only those.
TEST_F(RealWriter, DialogGetsTheWritersHints) {
    ui.dialog_result = 1;  // look, then cancel
    EXPECT_EQ(SaveWithPlugin(dir.file("hints.bmp"), "kotbmp.so", image, &options, ui), 1);
    ASSERT_TRUE(ui.seen_hints.count(30) == 1);  // "RGB 12bit(+4bit dummy)": peers differ
    EXPECT_FALSE(ui.seen_hints.at(30).empty());
    EXPECT_EQ(ui.seen_hints.count(20), 0u);  // "RGB 24bit" reads the same everywhere
    for (const auto &[id, text] : ui.seen_hints)
        EXPECT_NE(ui.seen_table.usable[id / 8] & (1u << (id % 8)), 0u) << id;
}
