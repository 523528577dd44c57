// The desktop host's parts that need no window: the file dialog's filter, the port list's
// descriptions, the beep's wave, the log's text decoder and the window's remembered place.

#include <stdlib.h>

#include <cstring>

#include <gtest/gtest.h>

#include "hosts/wx/FileFilter.h"
#include "hosts/wx/LogTextDecoder.h"
#include "hosts/wx/PortDescription.h"
#include "hosts/wx/ToneBeep.h"
#include "hosts/wx/WindowPlace.h"
#include "settings/IniLine.h"

TEST(FileFilter, TheDialogsFilterBecomesFourWildcardEntries) {
    const std::string filter =
        "SDL file (*.SDL) | *.SDL; |VDL file (*.VDL) | *.VDL; |DNL file (*.DNL) | *.DNL; |"
        "All files (*.*)|*.*|";
    EXPECT_EQ(WildcardFromFilter(filter),
              "SDL file (*.SDL)|*.SDL;*.sdl|VDL file (*.VDL)|*.VDL;*.vdl|"
              "DNL file (*.DNL)|*.DNL;*.dnl|All files (*.*)|*.*");
    // Several patterns in one field, blanks around them, and no final "|".
    EXPECT_EQ(WildcardFromFilter("Images | *.bin ; *.Img|Text|*.txt"),
              "Images|*.bin;*.BIN;*.Img;*.IMG;*.img|Text|*.txt;*.TXT");
    // Nothing usable still offers every file rather than an empty list.
    EXPECT_EQ(WildcardFromFilter(""), "All files (*)|*");
}

TEST(FileFilter, DefaultExtensionGoesOnlyOnATypedNameWithoutOne) {
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "File", false), "/img/box.File");
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "File", true), "/img/box");
    EXPECT_EQ(ApplyDefaultExtension("/img/box.sdl", "File", false), "/img/box.sdl");
    EXPECT_EQ(ApplyDefaultExtension("/img.d/box", "File", false), "/img.d/box.File");
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "", false), "/img/box");
}

TEST(PortDescription, NamesTheDeviceAndWhatKindItIs) {
    unsetenv("STAVEL_COM1");
    unsetenv("STAVEL_COM33");
    EXPECT_EQ(PortDescription(1).rfind("COM1: /dev/ttyUSB0, the first USB serial adapter", 0), 0u)
        << PortDescription(1);
    EXPECT_NE(PortDescription(18).find("/dev/ttyACM1, the second USB modem"), std::string::npos);
    EXPECT_NE(PortDescription(33).find("/dev/ttyS0, the first built-in serial port"),
              std::string::npos);
    setenv("STAVEL_COM33", "/dev/null", 1);
    EXPECT_EQ(PortDescription(33), "COM33: /dev/null (set for this run)");
    setenv("STAVEL_COM33", "/no/such/tty", 1);
    EXPECT_EQ(PortDescription(33), "COM33: /no/such/tty (set for this run) (not connected)");
    unsetenv("STAVEL_COM33");
}

TEST(PortDescription, EntriesSayWhichNumbersHaveADevice) {
    setenv("STAVEL_COM33", "/dev/null", 1);
    setenv("STAVEL_COM34", "/no/such/tty", 1);
    EXPECT_EQ(PortEntryLabels({"COM33", "COM34", "other"}),
              (std::vector<std::string>{"COM33 (null)", "COM34", "other"}));
    unsetenv("STAVEL_COM33");
    unsetenv("STAVEL_COM34");
}

namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::int16_t Sample(const std::vector<std::uint8_t>& b, std::size_t i) {
    return static_cast<std::int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
}

}  // namespace

TEST(ToneWav, IsAPlayableWaveOfTheAskedPitchAndLength) {
    const std::vector<std::uint8_t> wav = MakeToneWav(700, 100, 22050);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Read32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Read32(wav, 24), 22050u);
    const std::size_t samples = Read32(wav, 40) / 2;
    EXPECT_EQ(samples, 2205u);  // 100 ms
    EXPECT_EQ(wav.size(), 44 + 2 * samples);
    // Upward zero crossings count the periods: 70 in 100 ms at 700 Hz.
    int crossings = 0;
    for (std::size_t i = 1; i < samples; ++i) {
        if (Sample(wav, i - 1) < 0 && Sample(wav, i) >= 0) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 70, 1);
    // Faded in and out, so it starts and ends silent.
    EXPECT_EQ(Sample(wav, 0), 0);
    EXPECT_LE(std::abs(Sample(wav, samples - 1)), 200);
}

namespace {

std::string FeedBytewise(LogTextDecoder& decoder, std::string_view bytes) {
    std::string shown;
    for (char c : bytes) {
        shown += decoder.Feed(std::string_view(&c, 1));
    }
    return shown;
}

}  // namespace

TEST(LogTextDecoder, CharactersArrivingOneByteAtATimeShowWhole) {
    LogTextDecoder decoder;
    // "é" (2 bytes), "€" (3 bytes), "😀" (4 bytes): nothing shows until each is complete.
    EXPECT_EQ(decoder.Feed("\xC3"), "");
    EXPECT_EQ(decoder.Pending(), 1u);
    EXPECT_EQ(decoder.Feed("\xA9"), "\xC3\xA9");
    EXPECT_EQ(FeedBytewise(decoder,
                           "a\xE2\x82\xAC"
                           "b\xF0\x9F\x98\x80"),
              "a\xE2\x82\xAC"
              "b\xF0\x9F\x98\x80");
    EXPECT_EQ(decoder.Pending(), 0u);
}

TEST(LogTextDecoder, BytesThatAreNotTextShowAsMarksAndNulAsNothing) {
    LogTextDecoder decoder;
    const std::string mark = "\xEF\xBF\xBD";
    EXPECT_EQ(decoder.Feed(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(decoder.Feed("\xFF"), mark);
    EXPECT_EQ(decoder.Feed("\x80z"), mark + "z");
    // A lead byte whose sequence breaks: one mark, and the breaking byte is kept.
    EXPECT_EQ(FeedBytewise(decoder, "\xE2\x82Q"), mark + "Q");
    // Overlong forms and surrogates are not text.
    EXPECT_EQ(decoder.Feed("\xC0\xAF"), mark + mark);
    EXPECT_EQ(decoder.Feed("\xED\xA0\x80"), mark + mark + mark);
    // Control characters other than tab and line breaks.
    EXPECT_EQ(decoder.Feed("\x1B[0m\t\x07"), mark + "[0m\t" + mark);
    // An incomplete character at the very end is shown as a mark only when flushed.
    EXPECT_EQ(decoder.Feed("\xF0\x9F"), "");
    EXPECT_EQ(decoder.Flush(), mark);
}

TEST(LogTextDecoder, CarriageReturnAndLineFeedMakeOneBreakEvenWhenSplit) {
    LogTextDecoder decoder;
    EXPECT_EQ(FeedBytewise(decoder, "one\r\ntwo\r\n"), "one\ntwo\n");
    EXPECT_EQ(decoder.Feed("three\r"), "three");
    EXPECT_EQ(decoder.Feed("\n"), "\n");
    // A lone carriage return is a break of its own once the next byte shows it is alone.
    EXPECT_EQ(decoder.Feed("x\r"), "x");
    EXPECT_EQ(decoder.Feed("y"), "\ny");
    EXPECT_EQ(decoder.Feed("\r"), "");
    EXPECT_EQ(decoder.Flush(), "\n");
}

TEST(LogTextDecoder, CodePage949PairsShowWholeAndBrokenBytesAsMarks) {
    LogTextDecoder decoder(CodeSet::Cp949);
    // "한글" in code page 949, one byte at a time: each pair shows once complete.
    EXPECT_EQ(decoder.Feed("\xC7"), "");
    EXPECT_EQ(decoder.Pending(), 1u);
    EXPECT_EQ(decoder.Feed("\xD1"), "\xED\x95\x9C");
    EXPECT_EQ(FeedBytewise(decoder, "\xB1\xDB ok\r"), "\xEA\xB8\x80 ok");
    EXPECT_EQ(decoder.Feed("\n"), "\n");
    // A UHC extension character (trail below 0x80): "똠" is 0x8C 0x63.
    EXPECT_EQ(decoder.Feed("\x8C\x63"), "\xEB\x98\xA0");
    // A lead byte followed by a control, a byte that leads nothing, a lead at the very end.
    EXPECT_EQ(decoder.Feed("\xC7\n\x80"
                           "a\xFF"),
              "\xEF\xBF\xBD\n\xEF\xBF\xBD"
              "a\xEF\xBF\xBD");
    EXPECT_EQ(decoder.Feed("\xB1"), "");
    EXPECT_EQ(decoder.Flush(), "\xEF\xBF\xBD");
    // The same bytes read as UTF-8 are marks only.
    LogTextDecoder utf8(CodeSet::Utf8);
    EXPECT_EQ(utf8.Feed("\xC7\xD1"), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8.Flush(), "\xEF\xBF\xBD");
}

TEST(WindowPlace, TheWindowFileWinsAndAnOldIniSectionCountsOnlyWithoutIt) {
    const CodeSet utf8 = CodeSet::Utf8;
    IniTable ini;
    std::string section;
    for (const char* line : {"[Gerneral]", "COM Port Number=1", "[window]", "left=10", "Top=20",
                             "Width=700", "Height=500", "Maximized=1"}) {
        ReadIniLine(line, section, ini, utf8);
    }
    const WindowPlace old{
        .placed = true, .left = 10, .top = 20, .width = 700, .height = 500, .maximized = true};
    EXPECT_EQ(ChooseWindowPlace(std::nullopt, ini, utf8), old);
    // Once the window file exists, the INI file's section no longer counts.
    EXPECT_EQ(ChooseWindowPlace("[Window]\r\nLeft=-5\r\nTop=6\r\n", ini, utf8),
              (WindowPlace{.placed = true, .left = -5, .top = 6}));
    EXPECT_EQ(ChooseWindowPlace(WindowFileText(old, utf8), {}, utf8), old);
    // The placeholders an earlier version wrote before it knew a place.
    EXPECT_EQ(
        ChooseWindowPlace("[Window]\nLeft=-32768\nTop=-32768\nWidth=0\nHeight=0\n", ini, utf8),
        WindowPlace{});
    EXPECT_EQ(WindowFilePath("/opt/stavel/Stavel_OV.ini"), "/opt/stavel/Stavel_OV.window.ini");
}
