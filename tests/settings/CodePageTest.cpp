#include <gtest/gtest.h>

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/MultiByte.h"
#include "platform/codepage/TextConversion.h"
#include "settings/IniFile.h"
#include "tests/settings/CodeSetGuard.h"
#include "tests/settings/TempFolder.h"
#include "tests/settings/ToUtf8.h"

namespace {

// "가" in code page 949 is B0 A1; "깃" is B1 EA. 0x81 0x41 is a character of the extended part
// whose trail byte is an ASCII capital 'A'; 0x81 0x5C hides a backslash, 0x81 0x3D an "=".
const std::string kGa = "\xB0\xA1";
const std::string kTrailA = "\x81\x41";
const std::string kTrailBackslash = "\x81\x5C";
const std::string kTrailEquals = "\x81\x3D";

}  // namespace

TEST(CodePage, NamesTheLocalesCodeSets) {
    EXPECT_EQ(CodeSetFromName("UTF-8"), CodeSet::Utf8);
    EXPECT_EQ(CodeSetFromName("utf8"), CodeSet::Utf8);
    EXPECT_EQ(CodeSetFromName("EUC-KR"), CodeSet::Cp949);
    EXPECT_EQ(CodeSetFromName("CP949"), CodeSet::Cp949);
    EXPECT_EQ(CodeSetFromName("UHC"), CodeSet::Cp949);
    EXPECT_EQ(CodeSetFromName("ANSI_X3.4-1968"), CodeSet::SingleByte);
    EXPECT_EQ(CodeSetFromName("ISO-8859-1"), CodeSet::SingleByte);
    {
        CodeSetGuard chosen(CodeSet::Cp949);
        EXPECT_EQ(ActiveCodeSet(), CodeSet::Cp949);
    }
    EXPECT_EQ(ActiveCodeSet(), CodeSetFromName(LocaleCodeSetName()));
}

TEST(CodePage, Cp949FoldsAndFindsOnWholeCharacters) {
    const CodeSet cp = CodeSet::Cp949;
    EXPECT_TRUE(IsLeadByte(0x81, cp));
    EXPECT_TRUE(IsLeadByte(0xFE, cp));
    EXPECT_FALSE(IsLeadByte(0x80, cp));
    EXPECT_FALSE(IsLeadByte(0xFF, cp));
    EXPECT_FALSE(IsLeadByte('A', cp));
    EXPECT_FALSE(IsLeadByte(0xB0, CodeSet::Utf8));

    // The trail byte 'A' is part of its character and is not lowered; the capitals around it are.
    EXPECT_EQ(FoldLower("AB" + kTrailA + "CD" + kGa + "E", cp), "ab" + kTrailA + "cd" + kGa + "e");
    // Read byte by byte, the same text would be folded wrongly.
    EXPECT_EQ(FoldLower("AB" + kTrailA, CodeSet::SingleByte),
              "ab\x81"
              "a");

    EXPECT_EQ(FindFirstChar(kTrailEquals + "k=v", '=', cp), 3u);
    EXPECT_EQ(FindFirstChar(kTrailEquals, '=', cp), std::string::npos);
    EXPECT_EQ(FindLastChar("C:\\a\\" + kTrailBackslash + "x", '\\', cp), 4u);
    EXPECT_EQ(FindLastChar("ab\x81", '\x81', cp), 2u) << "a lead byte alone at the end";

    std::string text = kGa + kGa + kGa;  // six bytes
    EXPECT_EQ(CharBoundaryAtOrBefore(text, 5, cp), 4u);
    EXPECT_EQ(CharBoundaryAtOrBefore(text, 4, cp), 4u);
    EXPECT_EQ(CharBoundaryAtOrBefore(text, 9, cp), 6u);
}

TEST(CodePage, Utf8FoldsAsciiLettersOnly) {
    const CodeSet u = CodeSet::Utf8;
    EXPECT_EQ(FoldLower("Gerneral ÄÖ 가A", u), "gerneral ÄÖ 가a");
    EXPECT_EQ(FindFirstChar("가=나", '=', u), 3u);
    const std::string ga = "가";  // three bytes
    EXPECT_EQ(CharBoundaryAtOrBefore(ga + ga, 5, u), 3u);
    EXPECT_EQ(CharBoundaryAtOrBefore("ab" + ga, 3, u), 2u);
}

TEST(CodePage, ConvertsTheStoresMessagesIntoTheActiveCodeSet) {
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

TEST(CodePage, TheStoreMatchesNamesOnWholeCp949Characters) {
    CodeSetGuard korean(CodeSet::Cp949);
    TempFolder dir;
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
