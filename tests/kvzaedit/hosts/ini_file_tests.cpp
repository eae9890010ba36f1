// The settings file: reads write their value back, defaults for missing or
// unusable files, hexadecimal values, and edits that leave the rest of the
// file alone.
#include "ini_file.h"

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace {

using hoststest::ReadFile;
using hoststest::TempDir;
using hoststest::WriteFile;
using kvzaedit::ReadIniHex;
using kvzaedit::ReadIniString;
using kvzaedit::WriteIniHex;
using kvzaedit::WriteIniString;

class IniFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        ini = dir.file("KVZAEDIT.INI");
        kvzaedit::SetIniPath(ini);
    }
    TempDir dir;
    std::string ini;
};

TEST_F(IniFile, PathIsKept) {
    EXPECT_EQ(kvzaedit::IniPath(), ini);
}

TEST_F(IniFile, MissingFileGivesDefaultAndWritesItBack) {
    EXPECT_EQ(ReadIniString("BackColour", "Default", "808080"), "808080");
    EXPECT_EQ(ReadFile(ini), "[BackColour]\nDefault=808080\n");
}

TEST_F(IniFile, FoundValueIsReturnedAndFileUnchangedWhenAlreadyClean) {
    const std::string text = "[InPlug]\nbmp=custom.so\n";
    WriteFile(ini, text);
    EXPECT_EQ(ReadIniString("InPlug", "bmp", "kinbmp.so"), "custom.so");
    EXPECT_EQ(ReadFile(ini), text);
}

TEST_F(IniFile, ValueIsTrimmedAndWrittenBackTrimmed) {
    WriteFile(ini, "[S]\n  key  =   some value \t \n");
    EXPECT_EQ(ReadIniString("S", "key", "d"), "some value");
    EXPECT_EQ(ReadFile(ini), "[S]\nkey=some value\n");
}

TEST_F(IniFile, EnclosingQuotesAreRemoved) {
    WriteFile(ini, "[S]\na=\"quoted text\"\nb='single'\nc=\"unbalanced\n");
    EXPECT_EQ(ReadIniString("S", "a", ""), "quoted text");
    EXPECT_EQ(ReadIniString("S", "b", ""), "single");
    EXPECT_EQ(ReadIniString("S", "c", ""), "\"unbalanced");
}

TEST_F(IniFile, EmptyValueIsNotTheDefault) {
    WriteFile(ini, "[S]\nkey=\n");
    EXPECT_EQ(ReadIniString("S", "key", "default"), "");
    EXPECT_EQ(ReadFile(ini), "[S]\nkey=\n");
}

TEST_F(IniFile, DefaultLosesTrailingBlanks) {
    EXPECT_EQ(ReadIniString("S", "key", "  text  "), "  text");
}

TEST_F(IniFile, LongValueIsCutTo4095Bytes) {
    const std::string long_value(5000, 'x');
    WriteFile(ini, "[S]\nkey=" + long_value + "\n");
    const std::string got = ReadIniString("S", "key", "");
    EXPECT_EQ(got, std::string(4095, 'x'));
    // The cut value is what goes back into the file.
    EXPECT_EQ(ReadFile(ini), "[S]\nkey=" + std::string(4095, 'x') + "\n");
}

TEST_F(IniFile, LongDefaultIsCutTo4095Bytes) {
    EXPECT_EQ(ReadIniString("S", "key", std::string(4096, 'y')).size(), 4095u);
}

TEST_F(IniFile, SectionsAndKeysMatchWithoutCase) {
    WriteFile(ini, "[backcolour]\nDEFAULT=123456\n");
    EXPECT_EQ(ReadIniString("BackColour", "Default", "808080"), "123456");
    WriteIniString("BACKCOLOUR", "default", "654321");
    // The one line is replaced, keeping the key as it was spelled.
    EXPECT_EQ(ReadFile(ini), "[backcolour]\nDEFAULT=654321\n");
}

TEST_F(IniFile, WriteReplacesOnlyThatLine) {
    const std::string before =
        "; settings of the editor\n"
        "[BackColour]\n"
        "Default=808080\n"
        "; custom colours follow\n"
        "PaletteA=000000\n"
        "\n"
        "[InPlug]\n"
        "bmp=kinbmp.so\n"
        "tga=kintga.so\n";
    WriteFile(ini, before);
    WriteIniString("InPlug", "bmp", "other.so");
    std::string expected = before;
    expected.replace(expected.find("bmp=kinbmp.so"), 13, "bmp=other.so");
    EXPECT_EQ(ReadFile(ini), expected);
}

TEST_F(IniFile, NewKeyGoesAtTheEndOfItsSectionBeforeBlankLines) {
    WriteFile(ini, "[A]\nx=1\n\n[B]\ny=2\n");
    WriteIniString("a", "z", "3");
    EXPECT_EQ(ReadFile(ini), "[A]\nx=1\nz=3\n\n[B]\ny=2\n");
}

TEST_F(IniFile, NewSectionIsAppended) {
    WriteFile(ini, "; comment\n[A]\nx=1\n");
    WriteIniString("OutPlug", "ico", "kotico.so");
    EXPECT_EQ(ReadFile(ini), "; comment\n[A]\nx=1\n[OutPlug]\nico=kotico.so\n");
}

TEST_F(IniFile, KeyOfAnotherSectionIsNotTaken) {
    WriteFile(ini, "[A]\nkey=in a\n[B]\nother=1\n");
    EXPECT_EQ(ReadIniString("B", "key", "def"), "def");
    EXPECT_EQ(ReadFile(ini), "[A]\nkey=in a\n[B]\nother=1\nkey=def\n");
}

TEST_F(IniFile, KeysBeforeAnySectionAndCommentsAreNotKeys) {
    WriteFile(ini, "key=loose\n[S]\n;key=commented\n");
    EXPECT_EQ(ReadIniString("S", "key", "def"), "def");
    EXPECT_EQ(ReadFile(ini), "key=loose\n[S]\n;key=commented\nkey=def\n");
}

TEST_F(IniFile, FirstOfDuplicateKeysWins) {
    WriteFile(ini, "[S]\nk=first\nk=second\n");
    EXPECT_EQ(ReadIniString("S", "k", ""), "first");
    WriteIniString("S", "k", "new");
    EXPECT_EQ(ReadFile(ini), "[S]\nk=new\nk=second\n");
}

TEST_F(IniFile, ValueMayHoldEqualsSigns) {
    WriteFile(ini, "[S]\nk=a=b\n");
    EXPECT_EQ(ReadIniString("S", "k", ""), "a=b");
}

TEST_F(IniFile, LineBreakInAWrittenValueEndsIt) {
    WriteIniString("S", "k", "one\n[Evil]\nx=1");
    EXPECT_EQ(ReadFile(ini), "[S]\nk=one\n");
}

TEST_F(IniFile, CrLfFileKeepsItsLineEnds) {
    WriteFile(ini, "[S]\r\na=1\r\n");
    EXPECT_EQ(ReadIniString("S", "a", ""), "1");
    WriteIniString("S", "b", "2");
    WriteIniString("T", "c", "3");
    EXPECT_EQ(ReadFile(ini), "[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n");
}

TEST_F(IniFile, FileWithoutFinalLineBreak) {
    WriteFile(ini, "[S]\na=1");
    EXPECT_EQ(ReadIniString("S", "a", ""), "1");
    WriteIniString("S", "b", "2");
    EXPECT_EQ(ReadFile(ini), "[S]\na=1\nb=2\n");
}

TEST_F(IniFile, UnusableFileGivesDefaultsSilently) {
    // A folder can be neither read nor written as a file, even by root.
    kvzaedit::SetIniPath(dir.path());
    EXPECT_EQ(ReadIniString("S", "k", "def"), "def");
    WriteIniString("S", "k", "x");
    EXPECT_EQ(ReadIniHex("BackColour", "Default", 0x808080, 6), 0x808080u);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
}

TEST_F(IniFile, FileInMissingFolderGivesDefaults) {
    kvzaedit::SetIniPath(dir.file("no/such/folder/KVZAEDIT.INI"));
    EXPECT_EQ(ReadIniString("S", "k", "def"), "def");
    EXPECT_FALSE(hoststest::Exists(dir.file("no")));
}

TEST_F(IniFile, EmptyPathGivesDefaults) {
    kvzaedit::SetIniPath("");
    EXPECT_EQ(ReadIniString("S", "k", "def"), "def");
    EXPECT_EQ(ReadIniHex("S", "h", 0x12, 6), 0x12u);
}

// ---- hexadecimal values ----

TEST_F(IniFile, HexDefaultIsWrittenWithSixUpperCaseDigits) {
    EXPECT_EQ(ReadIniHex("BackColour", "Default", 0x808080, 6), 0x808080u);
    EXPECT_EQ(ReadIniHex("BackColour", "PaletteA", 0, 6), 0u);
    EXPECT_EQ(ReadIniHex("BackColour", "PaletteB", 0xabcde, 6), 0xABCDEu);
    EXPECT_EQ(ReadFile(ini), "[BackColour]\nDefault=808080\nPaletteA=000000\nPaletteB=0ABCDE\n");
}

TEST_F(IniFile, HexWithoutDigitsGivesDefault) {
    WriteFile(ini, "[BackColour]\nDefault=zz\n");
    EXPECT_EQ(ReadIniHex("BackColour", "Default", 0x808080, 6), 0x808080u);
    // The text read is what is written back, not the default.
    EXPECT_EQ(ReadFile(ini), "[BackColour]\nDefault=zz\n");
}

TEST_F(IniFile, HexFfIsPureRed) {
    WriteFile(ini, "[BackColour]\nDefault=ff\n");
    EXPECT_EQ(ReadIniHex("BackColour", "Default", 0x808080, 6), 0x0000FFu);
}

TEST_F(IniFile, HexScanStopsAtFirstNonDigit) {
    WriteFile(ini, "[BackColour]\nDefault=1G\n");
    EXPECT_EQ(ReadIniHex("BackColour", "Default", 0x808080, 6), 1u);
}

TEST_F(IniFile, HexEmptyValueGivesDefault) {
    WriteFile(ini, "[S]\nh=\n");
    EXPECT_EQ(ReadIniHex("S", "h", 0x42, 6), 0x42u);
}

TEST_F(IniFile, HexAcceptsLowerAndUpperCaseAndPrefix) {
    WriteFile(ini, "[S]\na=00aBcD\nb=0x10\n");
    EXPECT_EQ(ReadIniHex("S", "a", 0, 6), 0xABCDu);
    EXPECT_EQ(ReadIniHex("S", "b", 0, 6), 0x10u);
}

TEST_F(IniFile, WriteHexUsesUpperCaseAndMinimumDigits) {
    WriteIniHex("BackColour", "Default", 0xff, 6);
    WriteIniHex("BackColour", "PaletteA", 0xabcdef, 6);
    WriteIniHex("BackColour", "PaletteB", 0x1234567, 6);
    WriteIniHex("BackColour", "PaletteC", 0xA, 2);
    EXPECT_EQ(ReadFile(ini),
              "[BackColour]\nDefault=0000FF\nPaletteA=ABCDEF\nPaletteB=1234567\nPaletteC=0A\n");
}

TEST_F(IniFile, HexRoundTrip) {
    for (uint32_t value : {0u, 1u, 0x808080u, 0xFFFFFFu, 0xFFFFFFFFu}) {
        WriteIniHex("S", "v", value, 6);
        EXPECT_EQ(ReadIniHex("S", "v", 0x5555, 6), value);
    }
}

}  // namespace
