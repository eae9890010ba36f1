// Where the settings live: beside a program in a writable folder, per user
// for an installed copy (seeded from the file beside the program); and the
// settings file's writes through a temporary file, so that a write that
// stops half-way leaves the old file whole.
#include "settings_place.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>

#include "host_test_support.h"
#include "ini_file.h"

namespace {

using hoststest::Exists;
using hoststest::ReadFile;
using hoststest::TempDir;
using hoststest::WriteFile;
using kvzaedit::ReadIniString;
using kvzaedit::WriteIniString;

TEST(SettingsPlace, UserConfigHomeFollowsTheXdgRules) {
    const struct {
        const char *xdg, *home, *expected;
    } cases[] = {
        {"/x/conf", "/home/u", "/x/conf"},
        {nullptr, "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},               // empty counts as not set
        {"relative/conf", "/home/u", "/home/u/.config"},  // relative paths are ignored
        {nullptr, "/", "/.config"},
        {nullptr, nullptr, ""},
        {nullptr, "not/absolute", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kvzaedit::UserConfigHome(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
}

TEST(SettingsPlace, InstalledCopiesUseTheUsersFileSeededFromTheProgramsFolder) {
    const struct {
        const char *dir;
        bool installed;
        const char *config, *path, *seed;
        bool per_user;
    } cases[] = {
        {"/src/build/bin", false, "/home/u/.config", "/src/build/bin/KVZAEDIT.INI", "", false},
        {"/src/build/bin/", false, "", "/src/build/bin/KVZAEDIT.INI", "", false},
        {"/usr/lib/kvzaedit", true, "/home/u/.config", "/home/u/.config/kvzaedit/KVZAEDIT.INI",
         "/usr/lib/kvzaedit/KVZAEDIT.INI", true},
        {"/usr/lib/kvzaedit", true, "/c/", "/c/kvzaedit/KVZAEDIT.INI",
         "/usr/lib/kvzaedit/KVZAEDIT.INI", true},
        // No user folder known: no file to write, reads still see the seed.
        {"/usr/lib/kvzaedit", true, "", "", "/usr/lib/kvzaedit/KVZAEDIT.INI", true},
    };
    for (const auto &c : cases) {
        const kvzaedit::SettingsPlace place =
            kvzaedit::ChooseSettingsPlace(c.dir, c.installed, c.config);
        EXPECT_EQ(place.path, c.path) << c.dir << " " << c.config;
        EXPECT_EQ(place.seed, c.seed) << c.dir << " " << c.config;
        EXPECT_EQ(place.per_user, c.per_user) << c.dir << " " << c.config;
    }
}

TEST(SettingsPlace, InstalledCopyIsAnInstallationFolderOrOneNotWritable) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("usr/lib/kvzaedit"));
    std::filesystem::create_directories(dir.file("lib/kvzaeditor"));
    std::filesystem::create_directories(dir.file("build/bin"));
    struct Case {
        std::string dir;
        bool installed;
    };
    std::vector<Case> cases = {
        {dir.file("usr/lib/kvzaedit"), true},  // even for root, who may write there
        {dir.file("usr/lib/kvzaedit/"), true},
        {dir.file("lib/kvzaeditor"), false},
        {dir.file("build/bin"), false},
        {dir.file("no/such/folder"), true},  // nothing can be written there
    };
    if (geteuid() != 0) {
        // Write permission is what counts for anyone but root.
        std::filesystem::create_directories(dir.file("readonly"));
        chmod(dir.file("readonly").c_str(), 0555);
        cases.push_back({dir.file("readonly"), true});
    }
    for (const Case &c : cases) EXPECT_EQ(kvzaedit::IsInstalledCopy(c.dir), c.installed) << c.dir;
    chmod(dir.file("readonly").c_str(), 0755);
}

class ProgramSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        const char *old = getenv("XDG_CONFIG_HOME");
        had_xdg = old != nullptr;
        if (had_xdg) old_xdg = old;
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    }
    void TearDown() override {
        if (had_xdg)
            setenv("XDG_CONFIG_HOME", old_xdg.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        kvzaedit::SetIniPath("");
    }
    TempDir dir;
    bool had_xdg = false;
    std::string old_xdg;
};

TEST_F(ProgramSettings, WritableFolderKeepsTheFileBesideTheProgram) {
    std::filesystem::create_directories(dir.file("build/bin"));
    kvzaedit::UseProgramSettings(dir.file("build/bin"));
    EXPECT_EQ(kvzaedit::IniPath(), dir.file("build/bin/KVZAEDIT.INI"));
    EXPECT_EQ(kvzaedit::IniSeedPath(), "");
    WriteIniString("S", "k", "v");
    EXPECT_EQ(ReadFile(dir.file("build/bin/KVZAEDIT.INI")), "[S]\nk=v\n");
    EXPECT_FALSE(Exists(dir.file("config")));
}

TEST_F(ProgramSettings, InstalledCopyReadsTheSeedAndWritesTheUsersFile) {
    const std::string lib = dir.file("usr/lib/kvzaedit");
    std::filesystem::create_directories(lib);
    const std::string seed = "; shipped defaults\n[InPlug]\nbmp=kinwide.so\n";
    WriteFile(lib + "/KVZAEDIT.INI", seed);
    kvzaedit::UseProgramSettings(lib);
    const std::string user = dir.file("config/kvzaedit/KVZAEDIT.INI");
    EXPECT_EQ(kvzaedit::IniPath(), user);

    // A read that changes nothing creates nothing.
    EXPECT_EQ(ReadIniString("InPlug", "bmp", "kinbmp.so"), "kinwide.so");
    EXPECT_FALSE(Exists(dir.file("config")));
    // The first write creates the folders (0700) and starts from the seed.
    EXPECT_EQ(ReadIniString("BackColour", "Default", "808080"), "808080");
    EXPECT_EQ(ReadFile(user), seed + "[BackColour]\nDefault=808080\n");
    struct stat st;
    ASSERT_EQ(stat(dir.file("config/kvzaedit").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadFile(lib + "/KVZAEDIT.INI"), seed);
    // From now on the user's file alone counts.
    WriteFile(lib + "/KVZAEDIT.INI", "[InPlug]\nbmp=other.so\n");
    EXPECT_EQ(ReadIniString("InPlug", "bmp", "kinbmp.so"), "kinwide.so");
    WriteIniString("BackColour", "Default", "FF0000");
    EXPECT_EQ(ReadFile(user), seed + "[BackColour]\nDefault=FF0000\n");
}

TEST_F(ProgramSettings, InstalledCopyWithoutSeedStartsEmpty) {
    const std::string lib = dir.file("opt/lib/kvzaedit");
    std::filesystem::create_directories(lib);
    kvzaedit::UseProgramSettings(lib);
    EXPECT_EQ(ReadIniString("InPlug", "png", "kinpng.so"), "kinpng.so");
    EXPECT_EQ(ReadFile(dir.file("config/kvzaedit/KVZAEDIT.INI")), "[InPlug]\npng=kinpng.so\n");
    EXPECT_FALSE(Exists(lib + "/KVZAEDIT.INI"));
}

// ---- writes through a temporary file ----

// Runs a write of a long value in a child process whose files may not grow
// beyond limit bytes, so that the write stops half-way as in a full disk or
// a crash; returns once the child has ended.
void WriteWithFileLimit(const std::string &value, rlim_t limit) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        const rlimit cap{limit, limit};
        setrlimit(RLIMIT_FSIZE, &cap);
        WriteIniString("S", "long", value);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
}

std::vector<std::string> FolderEntries(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(IniWrite, WriteStoppedHalfWayLeavesTheOldFileWhole) {
    const struct {
        const char *name;
        bool per_user;
    } cases[] = {{"beside the program", false}, {"per user", true}};
    for (const auto &c : cases) {
        TempDir dir;
        const std::string ini = dir.file("KVZAEDIT.INI");
        if (c.per_user)
            kvzaedit::SetUserIniPath(ini, "");
        else
            kvzaedit::SetIniPath(ini);
        const std::string old = "[BackColour]\nDefault=123456\n";
        WriteFile(ini, old);
        WriteWithFileLimit(std::string(64 * 1024, 'x'), 4096);
        EXPECT_EQ(ReadFile(ini), old) << c.name;
        EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"KVZAEDIT.INI"}) << c.name;
        // Without the limit the same write goes through, and no temporary
        // file stays behind.
        WriteIniString("S", "long", "y");
        EXPECT_EQ(ReadFile(ini), old + "[S]\nlong=y\n") << c.name;
        EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"KVZAEDIT.INI"}) << c.name;
    }
    kvzaedit::SetIniPath("");
}

TEST(IniWrite, FirstWriteStoppedHalfWayLeavesNoFile) {
    TempDir dir;
    const std::string seed = dir.file("seed.ini");
    WriteFile(seed, "[InPlug]\nbmp=kinwide.so\n");
    kvzaedit::SetUserIniPath(dir.file("user/kvzaedit/KVZAEDIT.INI"), seed);
    WriteWithFileLimit(std::string(64 * 1024, 'x'), 4096);
    EXPECT_TRUE(FolderEntries(dir.file("user/kvzaedit")).empty());
    // The seed still answers.
    EXPECT_EQ(ReadIniString("InPlug", "bmp", "kinbmp.so"), "kinwide.so");
    kvzaedit::SetIniPath("");
}

}  // namespace
