// Loading libraries: bare names beside the program first, paths as given,
// and the library gone again when the object is.
#include "dynlib.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "host_test_support.h"

namespace {

using hoststest::Fake;
using hoststest::IsLoaded;
using kvzaedit::DynLib;

class ProgramDirGuard {
  public:
    ProgramDirGuard() : saved_(kvzaedit::ProgramDir()) {}
    ~ProgramDirGuard() { kvzaedit::SetProgramDir(saved_); }

  private:
    std::string saved_;
};

TEST(ProgramDir, DefaultsToTheRunningProgramsFolder) {
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(kvzaedit::ProgramDir(), exe.parent_path().string());
}

TEST(ProgramDir, CanBeSet) {
    ProgramDirGuard guard;
    kvzaedit::SetProgramDir("/some/where");
    EXPECT_EQ(kvzaedit::ProgramDir(), "/some/where");
}

TEST(DynLib, PathIsUsedAsItStands) {
    const std::string path = Fake("fake_kot");
    {
        DynLib lib;
        ASSERT_TRUE(lib.open(path));
        EXPECT_TRUE(lib.loaded());
        EXPECT_NE(lib.sym("kot_save"), nullptr);
        EXPECT_EQ(lib.sym("no_such_export"), nullptr);
        EXPECT_TRUE(IsLoaded(path));
    }
    EXPECT_FALSE(IsLoaded(path));
}

TEST(DynLib, BareNameIsFoundInTheProgramFolder) {
    ProgramDirGuard guard;
    kvzaedit::SetProgramDir(HOSTS_FAKE_DIR);
    DynLib lib;
    ASSERT_TRUE(lib.open("fake_kot_no_save.so"));
    EXPECT_NE(lib.sym("kot_getusabletbl_img"), nullptr);
    EXPECT_EQ(lib.sym("kot_save"), nullptr);
}

TEST(DynLib, ProgramFolderWithTrailingSlash) {
    ProgramDirGuard guard;
    kvzaedit::SetProgramDir(std::string(HOSTS_FAKE_DIR) + "/");
    DynLib lib;
    EXPECT_TRUE(lib.open("fake_kot.so"));
}

TEST(DynLib, BareNameFallsBackToTheSystemSearch) {
    ProgramDirGuard guard;
    kvzaedit::SetProgramDir(HOSTS_FAKE_DIR);
    DynLib lib;
    ASSERT_TRUE(lib.open("libm.so.6"));
    EXPECT_NE(lib.sym("cos"), nullptr);
}

TEST(DynLib, MissingLibraryFails) {
    DynLib lib;
    EXPECT_FALSE(lib.open("kvza_no_such_library.so"));
    EXPECT_FALSE(lib.open(std::string(HOSTS_FAKE_DIR) + "/kvza_no_such_library.so"));
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.sym("anything"), nullptr);
}

TEST(DynLib, EmptyNameIsNoLibrary) {
    DynLib lib;
    EXPECT_FALSE(lib.open(""));
    EXPECT_EQ(lib.sym("main"), nullptr);
}

TEST(DynLib, FileThatIsNoLibraryFails) {
    hoststest::TempDir dir;
    hoststest::WriteFile(dir.file("junk.so"), "not a shared object");
    DynLib lib;
    EXPECT_FALSE(lib.open(dir.file("junk.so")));
}

TEST(DynLib, CloseAndMoveUnloadOnce) {
    const std::string a = Fake("fake_kot");
    const std::string b = Fake("fake_kot_no_table");
    DynLib first;
    ASSERT_TRUE(first.open(a));
    DynLib second(std::move(first));
    EXPECT_FALSE(first.loaded());
    EXPECT_TRUE(second.loaded());
    EXPECT_TRUE(IsLoaded(a));
    DynLib third;
    ASSERT_TRUE(third.open(b));
    third = std::move(second);  // b goes, a moves over
    EXPECT_FALSE(IsLoaded(b));
    EXPECT_TRUE(IsLoaded(a));
    third.close();
    EXPECT_FALSE(IsLoaded(a));
    third.close();  // no-op
}

TEST(DynLib, ReopenUnloadsThePrevious) {
    const std::string a = Fake("fake_kot");
    DynLib lib;
    ASSERT_TRUE(lib.open(a));
    ASSERT_TRUE(lib.open(Fake("fake_kot_no_save")));
    EXPECT_FALSE(IsLoaded(a));
}

}  // namespace
