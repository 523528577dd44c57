#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "tests/support/files/TempDir.h"

// What the dialog does with the store at every start: open the file beside the program, read
// the port number and the image path with their defaults, store what the operator chooses.
TEST(IniFileFirstStart, DefaultsAreWrittenWithCrLfAndChoicesComeBackAtTheNextStart) {
    TempDir dir;
    const std::string path = dir.File("Stavel_OV.ini");
    CIniFile ini;
    EXPECT_TRUE(ini.Entries().empty());
    ASSERT_EQ(ini.Open(path), 1);
    EXPECT_TRUE(Exists(path)) << "Open creates a missing file";
    EXPECT_EQ(ReadBytes(path), "") << "Open alone writes nothing";
    EXPECT_TRUE(ini.Entries().empty());
    EXPECT_EQ(ini.m_strError, "");

    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1);
    EXPECT_EQ(ini.GetString("Gerneral", "SdlFileName", ""), "");
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n\r\n\r\n");

    // The operator's choices come back at the next start, and reading them rewrites nothing.
    EXPECT_EQ(ini.SetString("Gerneral", "SdlFileName", "/srv/images/box.sdl"), 1);
    EXPECT_EQ(ini.SetInt("Gerneral", "COM Port Number", 7), 1);
    const std::string chosen =
        "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=/srv/images/box.sdl\r\n\r\n\r\n";
    EXPECT_EQ(ReadBytes(path), chosen);
    CIniFile again;
    ASSERT_EQ(again.Open(path), 1);
    EXPECT_EQ(again.GetInt("Gerneral", "COM Port Number", 1), 7);
    EXPECT_EQ(again.GetString("Gerneral", "SdlFileName", ""), "/srv/images/box.sdl");
    EXPECT_EQ(ReadBytes(path), chosen);
}

TEST(IniFileFirstStart, AnEmptyTableIsSavedAsTheSeparatorAlone) {
    TempDir dir;
    const std::string path = dir.File("empty.ini");
    CIniFile ini;
    ini.Open(path);
    EXPECT_EQ(ini.Save(), 1);
    EXPECT_EQ(ReadBytes(path), "\r\n\r\n");
}
