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
