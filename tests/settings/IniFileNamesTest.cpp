#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "tests/support/files/TempDir.h"

namespace {

// Loads `text` as the file's contents and returns the store.
void LoadText(CIniFile& ini, const TempDir& dir, const std::string& text) {
    WriteBytes(dir.File("t.ini"), text);
    ASSERT_EQ(ini.Open(dir.File("t.ini")), 1);
}

}  // namespace

TEST(IniFileNames, LookupsMatchInAnyLetterCaseAndKeepTheFilesForms) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir, "[GERNERAL]\nsdlfilename=x\n");
    EXPECT_EQ(ini.GetString("Gerneral", "SdlFileName", "def"), "x");
    EXPECT_EQ(ini.GetString("gerneral", "SDLFILENAME", "def"), "x");
    ASSERT_EQ(ini.Entries().size(), 1u);

    // A later save (here caused by another key) writes the file's forms again.
    ini.SetString("GERNERAL", "Other", "1");
    EXPECT_EQ(ReadBytes(dir.File("t.ini")), "[GERNERAL]\r\nOther=1\r\nsdlfilename=x\r\n\r\n\r\n");

    // A set operation replaces the written forms with the caller's.
    ini.SetString("Gerneral", "SdlFileName", "y");
    EXPECT_EQ(ReadBytes(dir.File("t.ini")),
              "[GERNERAL]\r\nOther=1\r\n\r\n\r\n[Gerneral]\r\nSdlFileName=y\r\n\r\n\r\n");

    // Two written forms of one section become two headers, and merge again on loading.
    CIniFile reread;
    ASSERT_EQ(reread.Open(dir.File("t.ini")), 1);
    EXPECT_EQ(reread.Entries(), ini.Entries());
    EXPECT_EQ(reread.GetString("gerneral", "sdlfilename", ""), "y");
}

TEST(IniFileNames, DuplicateLinesMergeAndTheLaterOneWins) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir, "[A]\nKey=1\n[a]\nKEY=2\nkey=3\n");
    ASSERT_EQ(ini.Entries().size(), 1u);
    const IniEntry& only = ini.Entries().begin()->second;
    EXPECT_EQ(only.section, "a");
    EXPECT_EQ(only.key, "key");
    EXPECT_EQ(only.value, "3");
    ASSERT_EQ(ini.Save(), 1);
    EXPECT_EQ(ReadBytes(dir.File("t.ini")), "[a]\r\nkey=3\r\n\r\n\r\n");
}

TEST(IniFileNames, SectionsAndKeysComeOutInFoldedOrderWithTheEmptySectionFirst) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir,
             "[gamma]\nz=1\n[Beta]\nB=2\na=3\n[alpha]\nq=4\n[]\ntop=5\n"
             "[Gerneral]\nSdlFileName=s\nCOM Port Number=2\n");
    ASSERT_EQ(ini.Save(), 1);
    EXPECT_EQ(ReadBytes(dir.File("t.ini")),
              "top=5\r\n"
              "\r\n\r\n[alpha]\r\nq=4\r\n"
              "\r\n\r\n[Beta]\r\na=3\r\nB=2\r\n"
              "\r\n\r\n[gamma]\r\nz=1\r\n"
              "\r\n\r\n[Gerneral]\r\nCOM Port Number=2\r\nSdlFileName=s\r\n"
              "\r\n\r\n");
}

TEST(IniFileNames, ASectionWithBlanksInItsBracketsIsAnotherSection) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir, "[ Gerneral ]\r\nCOM Port Number=5\r\n");
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1);
    EXPECT_EQ(ReadBytes(dir.File("t.ini")),
              "[ Gerneral ]\r\nCOM Port Number=5\r\n\r\n\r\n[Gerneral]\r\nCOM Port Number=1\r\n"
              "\r\n\r\n");
}

TEST(IniFileNames, BlanksAroundTheEqualsSignBelongToKeyAndValue) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir, "[Gerneral]\nCOM Port Number = 3\n");
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1);
    // 'COM Port Number' is a prefix of 'COM Port Number ', so the default sorts first.
    EXPECT_EQ(ReadBytes(dir.File("t.ini")),
              "[Gerneral]\r\nCOM Port Number=1\r\nCOM Port Number = 3\r\n\r\n\r\n");
    EXPECT_EQ(ini.GetString("Gerneral", "COM Port Number ", ""), " 3");
}
