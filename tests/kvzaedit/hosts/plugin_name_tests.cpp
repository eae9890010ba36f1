// Choosing the plug-in library for a file: the settings entry named by the
// extension as typed, by default "k" + "in"/"ot" + the extension in lower
// case + ".so", written back into the settings file.
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "ini_file.h"
#include "input_host.h"

namespace {

using hoststest::ReadFile;
using hoststest::WriteFile;
using kvzaedit::PluginDir;
using kvzaedit::PluginLibraryName;

class PluginName : public ::testing::Test {
  protected:
    void SetUp() override {
        ini = dir.file("KVZAEDIT.INI");
        kvzaedit::SetIniPath(ini);
    }
    hoststest::TempDir dir;
    std::string ini;
};

TEST_F(PluginName, DefaultInputNameIsWrittenBack) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "/pics/a.bmp"), "kinbmp.so");
    EXPECT_EQ(ReadFile(ini), "[InPlug]\nbmp=kinbmp.so\n");
}

TEST_F(PluginName, DefaultOutputNameUsesOutPlugAndOt) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Output, "/pics/a.ico"), "kotico.so");
    EXPECT_EQ(ReadFile(ini), "[OutPlug]\nico=kotico.so\n");
}

TEST_F(PluginName, UpperCaseExtensionGivesLowerCaseDefaultAndKeyAsTyped) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "a.BMP"), "kinbmp.so");
    EXPECT_EQ(ReadFile(ini), "[InPlug]\nBMP=kinbmp.so\n");
    EXPECT_EQ(PluginLibraryName(PluginDir::Output, "b.Tga"), "kottga.so");
    EXPECT_EQ(ReadFile(ini), "[InPlug]\nBMP=kinbmp.so\n[OutPlug]\nTga=kottga.so\n");
}

TEST_F(PluginName, ExtensionsDifferingInCaseShareOneKey) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "a.bmp"), "kinbmp.so");
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "a.BMP"), "kinbmp.so");
    EXPECT_EQ(ReadFile(ini), "[InPlug]\nbmp=kinbmp.so\n");
}

TEST_F(PluginName, SettingsEntryWins) {
    WriteFile(ini, "[inplug]\nJPG=/opt/readers/jpeg.so\n[OutPlug]\nbmp=mybmp.so\n");
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "photo.jpg"), "/opt/readers/jpeg.so");
    EXPECT_EQ(PluginLibraryName(PluginDir::Output, "out.bmp"), "mybmp.so");
    // Directions do not mix: the input side of bmp has its own default.
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "in.bmp"), "kinbmp.so");
    EXPECT_EQ(ReadFile(ini),
              "[inplug]\nJPG=/opt/readers/jpeg.so\nbmp=kinbmp.so\n[OutPlug]\nbmp=mybmp.so\n");
}

TEST_F(PluginName, LastDotOfTheFileNameCounts) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "/a.b/c.tar.Gz"), "kingz.so");
    EXPECT_EQ(ReadFile(ini), "[InPlug]\nGz=kingz.so\n");
}

TEST_F(PluginName, NoExtensionGivesEmptyNameAndLeavesTheFileAlone) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "README"), "");
    EXPECT_EQ(PluginLibraryName(PluginDir::Output, "/some.dir/README"), "");
    EXPECT_FALSE(hoststest::Exists(ini));
}

TEST_F(PluginName, TrailingDotGivesEmptyName) {
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "picture."), "");
    EXPECT_FALSE(hoststest::Exists(ini));
}

TEST_F(PluginName, UnwritableSettingsStillGiveTheDefault) {
    kvzaedit::SetIniPath(dir.path());  // a folder
    EXPECT_EQ(PluginLibraryName(PluginDir::Input, "a.TGA"), "kintga.so");
}

}  // namespace
