// The INI store: how its lines are read and written, its values and names, and names in a
// double-byte code set. Its failures are in IniFileFailureTest.

#include <gtest/gtest.h>

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/TextConversion.h"
#include "settings/IniFile.h"
#include "tests/support/codepage/CodeSetGuard.h"
#include "tests/support/files/TempDir.h"

namespace {

// The file after loading `text` and saving it again.
std::string Resaved(const std::string& text) {
    TempDir dir;
    WriteBytes(dir.File("p.ini"), text);
    CIniFile ini;
    EXPECT_EQ(ini.Open(dir.File("p.ini")), 1);
    EXPECT_EQ(ini.Save(), 1);
    return ReadBytes(dir.File("p.ini"));
}

// Loads `text` as the file's contents and returns the store.
void LoadText(CIniFile& ini, const TempDir& dir, const std::string& text) {
    WriteBytes(dir.File("t.ini"), text);
    ASSERT_EQ(ini.Open(dir.File("t.ini")), 1);
}

}  // namespace

TEST(IniFileParsing, ClassifiesOddLinesAsTheToolAlwaysHas) {
    EXPECT_EQ(Resaved("a=b=c\n"), "a=b=c\r\n\r\n\r\n") << "only the first = splits";
    EXPECT_EQ(Resaved("=x\nno equals here\n[\n; note\n[s]x\n"), "\r\n\r\n") << "all ignored";
    EXPECT_EQ(Resaved("; a=b\n"), "; a=b\r\n\r\n\r\n") << "no comments as such";
    EXPECT_EQ(Resaved("[S]\nk=1\n[]\nt=2\n"), "t=2\r\n\r\n\r\n[S]\r\nk=1\r\n\r\n\r\n")
        << "[] returns to the empty section, which is written first";
    EXPECT_EQ(Resaved("k=\n"), "k=\r\n\r\n\r\n") << "an empty value is kept";
    EXPECT_EQ(Resaved("  \t k= v  \t\r\n"), "k= v\r\n\r\n\r\n")
        << "blanks after = stay, blanks at the line's ends go";
    EXPECT_EQ(Resaved("[a]b]\nk=v"), "[a]b]\r\nk=v\r\n\r\n\r\n")
        << "a header is what lies between the first and the last byte; no final line end needed";
    EXPECT_EQ(Resaved(std::string("k=v\0junk=1\nk2=w\n", 17)), "k=v\r\nk2=w\r\n\r\n\r\n")
        << "a NUL byte ends its line's text";
}

TEST(IniFileParsing, ReadsLfAndCrLfAlikeAndWritesCrLf) {
    EXPECT_EQ(Resaved(""), "\r\n\r\n") << "an empty table is saved as the separator alone";
    const std::string expected = "[s]\r\na=1\r\nb=2\r\n\r\n\r\n";
    EXPECT_EQ(Resaved("[s]\na=1\nb=2\n"), expected);
    EXPECT_EQ(Resaved("[s]\r\na=1\r\nb=2\r\n"), expected);
    EXPECT_EQ(Resaved("[s]\r\na=1\nb=2\r\n\r\n\r\n"), expected);
}

TEST(IniFileParsing, ALongLineIsReadInPiecesOf1023BytesEachReadByItself) {
    // 3000 bytes: the second piece starts at byte 1023 and holds an "=" of its own, the third
    // holds none.
    const std::string first = "key=" + std::string(1019, 'a');
    const std::string second = "k2=" + std::string(1020, 'b');
    const std::string third = std::string(953, 'c') + "\n";
    ASSERT_EQ((first + second + third).size(), 3000u);
    EXPECT_EQ(Resaved(first + second + third + "[s]\nz=1\n"),
              second + "\r\n" + first + "\r\n\r\n\r\n[s]\r\nz=1\r\n\r\n\r\n");
}

TEST(IniFileParsing, AnOverlongEntryIsCutOnAWholeCharacterAndSparesTheOtherLines) {
    TempDir dir;
    const std::string path = dir.File("long.ini");
    CIniFile ini;
    ini.Open(path);
    ini.SetString("s", "a", "before");
    ini.SetString("s", "k", std::string(2000, 'x'));
    ini.SetString("s", "z", "after");
    // "k=" and 1021 bytes of the value: 1023 bytes, the most that reads back as one line.
    const std::string kept = std::string(1021, 'x');
    EXPECT_EQ(ReadBytes(path), "[s]\r\na=before\r\nk=" + kept + "\r\nz=after\r\n\r\n\r\n");
    CIniFile reread;
    reread.Open(path);
    EXPECT_EQ(reread.GetString("s", "k", ""), kept);
    EXPECT_EQ(reread.GetString("s", "z", ""), "after");
    EXPECT_EQ(reread.Entries().size(), 3u);

    // A cut never splits a character: 1021 bytes would end inside the 511th double-byte one.
    CodeSetGuard korean(CodeSet::Cp949);
    std::string hangul;
    for (int i = 0; i < 600; ++i) {
        hangul += "\xB0\xA1";
    }
    CIniFile cp949;
    cp949.Open(path);
    cp949.SetString("s", "k", hangul);
    CIniFile back;
    back.Open(path);
    EXPECT_EQ(back.GetString("s", "k", ""), hangul.substr(0, 1020));
}

TEST(IniFileParsing, AValueCannotSmuggleLinesIntoTheFile) {
    TempDir dir;
    const std::string path = dir.File("inject.ini");
    CIniFile ini;
    ini.Open(path);
    ini.SetInt("Gerneral", "COM Port Number", 3);
    ini.SetString("Gerneral", "SdlFileName", "/tmp/a\n[Gerneral]\nCOM Port Number=9");
    // Names that could not be read back as themselves are left out of the file.
    ini.SetString("Gerneral", "x=y", "1");
    ini.SetString("Gerneral", "[Other", "is a header]");
    ini.SetString("Gerneral", " blank", "1");
    ini.SetString("Two\nLines", "k", "1");
    EXPECT_EQ(ReadBytes(path), "[Gerneral]\r\nCOM Port Number=3\r\nSdlFileName=/tmp/a\r\n\r\n\r\n");
    CIniFile reread;
    reread.Open(path);
    EXPECT_EQ(reread.GetInt("Gerneral", "COM Port Number", 1), 3);
    EXPECT_EQ(reread.Entries().size(), 2u);
}

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

TEST(IniFileNames, BlanksInsideBracketsOrAroundTheEqualsSignBelongToTheNames) {
    TempDir dir;
    CIniFile ini;
    LoadText(ini, dir, "[ Gerneral ]\r\nCOM Port Number=5\r\n[Gerneral]\nCOM Port Number = 3\n");
    EXPECT_EQ(ini.GetInt("Gerneral", "COM Port Number", 1), 1);
    // 'COM Port Number' is a prefix of 'COM Port Number ', so the default sorts first.
    EXPECT_EQ(ReadBytes(dir.File("t.ini")),
              "[ Gerneral ]\r\nCOM Port Number=5\r\n\r\n\r\n[Gerneral]\r\nCOM Port Number=1\r\n"
              "COM Port Number = 3\r\n\r\n\r\n");
    EXPECT_EQ(ini.GetString("Gerneral", "COM Port Number ", ""), " 3");
}

TEST(IniFileCodeSet, ConvertsTheStoresMessagesIntoTheActiveCodeSet) {
    EXPECT_EQ(FromUtf8("파일명이", CodeSet::Cp949), "\xC6\xC4\xC0\xCF\xB8\xED\xC0\xCC");
    EXPECT_EQ(FromUtf8("파일명이", CodeSet::Utf8), "파일명이");
    EXPECT_EQ(DecodeToUtf8("a\xFF"
                           "b",
                           CodeSet::Cp949),
              "a\xEF\xBF\xBD"
              "b")
        << "a byte that starts no character is marked";

    CodeSetGuard korean(CodeSet::Cp949);
    CIniFile ini;
    EXPECT_EQ(ini.Load(), 0);
    EXPECT_EQ(DecodeToUtf8(ini.m_strError, CodeSet::Cp949), "파일명이 누락되었습니다.");
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
