#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "tests/support/files/TempDir.h"

// What the main dialog does at every start: open the file beside the program, then read the
// port number and the image path with their defaults.
static void StartLikeTheTool(CIniFile& ini, int& port, std::string& image) {
    port = ini.GetInt("Gerneral", "COM Port Number", 1);
    image = ini.GetString("Gerneral", "SdlFileName", "");
}

TEST(IniFileFirstStart, CreatesTheFileAndWritesBothDefaultsWithCrLf) {
    TempDir dir;
    const std::string path = dir.File("Stavel_OV.ini");
    CIniFile ini;
    EXPECT_TRUE(ini.Entries().empty());
    ASSERT_EQ(ini.Open(path), 1);
    EXPECT_TRUE(Exists(path)) << "Open creates a missing file";
    EXPECT_EQ(ReadBytes(path), "") << "Open alone writes nothing";
    EXPECT_TRUE(ini.Entries().empty());
    EXPECT_EQ(ini.m_strError, "");

    int port = 0;
    std::string image = "x";
    StartLikeTheTool(ini, port, image);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(image, "");
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n\r\n\r\n");
}

TEST(IniFileFirstStart, LaterStartsKeepTheChosenImageAndPort) {
    TempDir dir;
    const std::string path = dir.File("Stavel_OV.ini");
    {
        CIniFile ini;
        ini.Open(path);
        int port = 0;
        std::string image;
        StartLikeTheTool(ini, port, image);
        EXPECT_EQ(ini.SetString("Gerneral", "SdlFileName", "/srv/images/box.sdl"), 1);
        EXPECT_EQ(ini.SetInt("Gerneral", "COM Port Number", 7), 1);
    }
    EXPECT_EQ(ReadBytes(path),
              "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=/srv/images/box.sdl\r\n\r\n\r\n");

    CIniFile again;
    ASSERT_EQ(again.Open(path), 1);
    int port = 0;
    std::string image;
    StartLikeTheTool(again, port, image);
    EXPECT_EQ(port, 7);
    EXPECT_EQ(image, "/srv/images/box.sdl");
    EXPECT_EQ(ReadBytes(path),
              "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=/srv/images/box.sdl\r\n\r\n\r\n")
        << "reading values that are present writes nothing new";
}

TEST(IniFileFirstStart, AnEmptyTableIsSavedAsTheSeparatorAlone) {
    TempDir dir;
    const std::string path = dir.File("empty.ini");
    CIniFile ini;
    ini.Open(path);
    EXPECT_EQ(ini.Save(), 1);
    EXPECT_EQ(ReadBytes(path), "\r\n\r\n");
}
