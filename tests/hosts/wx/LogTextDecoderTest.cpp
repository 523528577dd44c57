#include "hosts/wx/LogTextDecoder.h"

#include <gtest/gtest.h>

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
