#include <gtest/gtest.h>

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/MultiByte.h"
#include "platform/codepage/TextConversion.h"
#include "tests/support/codepage/CodeSetGuard.h"

TEST(CodePage, NamesTheLocalesCodeSets) {
    EXPECT_EQ(CodeSetFromName("UTF-8"), CodeSet::Utf8);
    EXPECT_EQ(CodeSetFromName("EUC-KR"), CodeSet::Cp949);
    EXPECT_EQ(CodeSetFromName("UHC"), CodeSet::Cp949);
    EXPECT_EQ(CodeSetFromName("ANSI_X3.4-1968"), CodeSet::SingleByte);
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
