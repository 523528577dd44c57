#include <gtest/gtest.h>

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
