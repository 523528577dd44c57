#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "tests/support/files/TempDir.h"

TEST(IniFileValues, GetIntReadsAsAtolDoesAndStoresNothingWhenAValueIsPresent) {
    TempDir dir;
    const std::string path = dir.File("n.ini");
    const std::string text =
        "[n]\r\na=abc\r\nb= 7\r\nc=-2\r\nd=12abc\r\ne=+5\r\nf=99999999999\r\ng=-99999999999\r\n"
        "h=\t-\r\n\r\n\r\n";
    WriteBytes(path, text);
    CIniFile ini;
    ASSERT_EQ(ini.Open(path), 1);
    EXPECT_EQ(ini.GetInt("n", "a", 42), 0);
    EXPECT_EQ(ini.GetInt("n", "b", 42), 7);
    EXPECT_EQ(ini.GetInt("n", "c", 42), -2);
    EXPECT_EQ(ini.GetInt("n", "d", 42), 12);
    EXPECT_EQ(ini.GetInt("n", "e", 42), 5);
    EXPECT_EQ(ini.GetInt("n", "f", 42), 2147483647) << "clamped, not wrapped";
    EXPECT_EQ(ini.GetInt("n", "g", 42), -2147483647 - 1);
    EXPECT_EQ(ini.GetInt("n", "h", 42), 0);
    EXPECT_EQ(ReadBytes(path), text) << "values present: the file is not written";

    EXPECT_EQ(ini.GetInt("n", "missing", -17), -17);
    EXPECT_EQ(ini.GetString("n", "missing", "x"), "-17") << "the default was stored";
    EXPECT_NE(ReadBytes(path).find("missing=-17\r\n"), std::string::npos);
}

TEST(IniFileValues, AnEmptyStoredValueIsReplacedByTheDefaultEveryTime) {
    TempDir dir;
    const std::string path = dir.File("e.ini");
    WriteBytes(path, "[Gerneral]\r\nSdlFileName=\r\n");
    CIniFile ini;
    ASSERT_EQ(ini.Open(path), 1);
    EXPECT_EQ(ini.GetString("Gerneral", "SdlFileName", "dflt"), "dflt");
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nSdlFileName=dflt\r\n\r\n\r\n");

    // The tool's own default is empty, so its file is rewritten at every start until an image
    // file is chosen; the rewrite keeps the bytes.
    ini.SetString("Gerneral", "SdlFileName", "");
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nSdlFileName=\r\n\r\n\r\n");
    EXPECT_EQ(ini.GetString("gerneral", "sdlfilename", ""), "");
    EXPECT_EQ(ReadBytes(path), "[gerneral]\r\nsdlfilename=\r\n\r\n\r\n")
        << "the caller's forms of the names are written";
    const IniEntry& entry = ini.Entries().begin()->second;
    EXPECT_EQ(entry.key, "sdlfilename");
}
