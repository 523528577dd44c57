// The INI store in a chosen code set: its messages in that code set, and names matched on
// whole double-byte characters, never on a trail byte.

#include <gtest/gtest.h>

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/TextConversion.h"
#include "settings/IniFile.h"
#include "tests/support/codepage/CodeSetGuard.h"
#include "tests/support/codepage/Cp949Samples.h"
#include "tests/support/codepage/ToUtf8.h"
#include "tests/support/files/TempDir.h"

TEST(IniFileCodeSet, ConvertsTheStoresMessagesIntoTheActiveCodeSet) {
    EXPECT_EQ(FromUtf8("파일명이", CodeSet::Cp949), "\xC6\xC4\xC0\xCF\xB8\xED\xC0\xCC");
    EXPECT_EQ(FromUtf8("파일명이", CodeSet::Utf8), "파일명이");
    EXPECT_EQ(ToUtf8("\xC6\xC4\xC0\xCF", CodeSet::Cp949), "파일");
    EXPECT_EQ(ToUtf8("a\xFF"
                     "b",
                     CodeSet::Utf8),
              "a\xEF\xBF\xBD"
              "b")
        << "invalid byte marked";
    EXPECT_EQ(ToUtf8("caf\xE9", CodeSet::SingleByte), "café");

    CodeSetGuard korean(CodeSet::Cp949);
    CIniFile ini;
    EXPECT_EQ(ini.Load(), 0);
    EXPECT_EQ(ini.m_strError, FromUtf8("파일명이 누락되었습니다.", CodeSet::Cp949));
    EXPECT_EQ(ToUtf8(ini.m_strError, CodeSet::Cp949), "파일명이 누락되었습니다.");
}

TEST(IniFileCodeSet, TheStoreMatchesNamesOnWholeCp949Characters) {
    CodeSetGuard korean(CodeSet::Cp949);
    TempDir dir;
    const std::string path = dir.File("k.ini");
    // Section 가A-with-trail-'A' and a key whose second byte only looks like a capital.
    WriteBytes(path, "[" + kGa + "SECTION]\r\n" + kTrailA + "KEY=1\r\n" + kTrailEquals + "x=2\r\n");
    CIniFile ini;
    ASSERT_EQ(ini.Open(path), 1);
    EXPECT_EQ(ini.GetString(kGa + "section", kTrailA + "key", ""), "1");
    // A lower-cased trail byte would be a different character, not the same one in another case.
    EXPECT_EQ(ini.GetString(kGa + "section",
                            "\x81\x61"
                            "key",
                            "none"),
              "none");
    // The "=" hidden in a trail byte does not split the line.
    EXPECT_EQ(ini.GetString(kGa + "section", kTrailEquals + "x", ""), "2");
}
