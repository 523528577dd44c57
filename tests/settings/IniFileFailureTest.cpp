#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/codepage/TextConversion.h"
#include "settings/IniFile.h"
#include "tests/settings/TempFolder.h"

namespace {

std::string CannotOpen(const std::string& path) {
    return FromUtf8("파일(" + path + ")을 열 수 없습니다.");
}

}  // namespace

TEST(IniFileFailure, AnEmptyFileNameFailsBothWaysAndTheStoreGoesOnInMemory) {
    CIniFile ini;
    EXPECT_EQ(ini.Open(""), 0);
    EXPECT_EQ(ini.m_strError, FromUtf8("파일명이 누락되었습니다."));
    EXPECT_EQ(ini.SetString("s", "k", "v"), 1) << "a failed save is not the caller's problem";
    EXPECT_EQ(ini.m_strError, FromUtf8("파일명이 누락되었습니다."));
    EXPECT_EQ(ini.GetString("S", "K", "d"), "v");
    EXPECT_EQ(ini.Save(), 0);
}

TEST(IniFileFailure, AMissingFolderFailsAndALaterSaveTriesAgain) {
    TempFolder dir;
    const std::string path = dir.File("not-yet/x.ini");
    CIniFile ini;
    EXPECT_EQ(ini.Open(path), 0);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1) << "defaults still answer";
    EXPECT_EQ(ini.m_strError, CannotOpen(path));

    ASSERT_EQ(mkdir(dir.File("not-yet").c_str(), 0700), 0);
    EXPECT_EQ(ini.SetInt("Gerneral", "COM Port Number", 2), 1);
    EXPECT_EQ(ini.m_strError, "") << "a successful save empties the error";
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=2\r\n\r\n\r\n");

    // A path through a file is no folder at all.
    CIniFile through;
    EXPECT_EQ(through.Open(path + "/y.ini"), 0);
    EXPECT_EQ(through.Save(), 0);
}

TEST(IniFileFailure, AReadOnlyFileIsNeitherReadNorReplaced) {
    TempFolder dir;
    const std::string path = dir.File("ro.ini");
    const std::string frozen = "[Gerneral]\r\nCOM Port Number=4\r\n\r\n\r\n";
    WriteBytes(path, frozen);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    CIniFile ini;
    EXPECT_EQ(ini.Open(path), 0);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_TRUE(ini.Entries().empty());
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1) << "the tool runs on its defaults";
    EXPECT_EQ(ini.SetString("Gerneral", "SdlFileName", "/x.sdl"), 1);
    EXPECT_EQ(ini.m_strError, CannotOpen(path));
    EXPECT_EQ(ini.Save(), 0);
    EXPECT_EQ(ReadBytes(path), frozen);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    // Loading a read-only file empties a table that was full.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    CIniFile loaded;
    ASSERT_EQ(loaded.Open(path), 1);
    EXPECT_EQ(loaded.Entries().size(), 1u);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(loaded.Load(), 0);
    EXPECT_TRUE(loaded.Entries().empty());
}

TEST(IniFileFailure, SavingKeepsPermissionsAndLinksAndLeavesNoTemporaryFiles) {
    TempFolder dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("Stavel_OV.ini");
    WriteBytes(real, "");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.ini", link.c_str()), 0);

    CIniFile ini;
    ASSERT_EQ(ini.Open(link), 1);
    ini.SetInt("Gerneral", "COM Port Number", 9);
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is kept, its target replaced";
    EXPECT_EQ(ReadBytes(real), "[Gerneral]\r\nCOM Port Number=9\r\n\r\n\r\n");
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    int files = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2);
}
