// What a terminal would act on is shown escaped; text, in whichever code set, is shown as it is.

#include <gtest/gtest.h>

#include "platform/codepage/ShownText.h"

namespace {

// Feeds `text` one byte at a time, as the box's console echo arrives.
std::string ByteByByte(std::string_view text, CodeSet codeSet) {
    ShownTextStream stream(KeptControls::LayoutOnly, codeSet);
    std::string out;
    for (const char c : text) {
        out += stream.Feed(std::string_view(&c, 1));
    }
    return out + stream.Flush();
}

}  // namespace

TEST(ShownText, TerminalControlsAreEscapedInEveryCodeSetAndTextIsNot) {
    // CSI, OSC ... ST and a raw CSI among text: a screen clear, a title and a cursor move.
    const std::string attack =
        "a\xC2\x9B"
        "2J\xC2\x9D"
        "0;owned\xC2\x9C"
        "b\x9B"
        "H\x1B[1mc\x7F";
    const std::string shown = "a\\xC2\\x9B2J\\xC2\\x9D0;owned\\xC2\\x9Cb\\x9BH\\x1B[1mc\\x7F";
    for (CodeSet codeSet : {CodeSet::Utf8, CodeSet::SingleByte}) {
        EXPECT_EQ(ByteByByte(attack, codeSet), shown);
        ShownTextStream whole(KeptControls::LayoutOnly, codeSet);
        EXPECT_EQ(whole.Feed(attack) + whole.Flush(), shown);
    }
    // Layout controls stay in an echo; a name keeps none of them.
    EXPECT_EQ(ByteByByte("x\r\n\ty\bz", CodeSet::Utf8), "x\r\n\ty\bz");
    EXPECT_EQ(EscapeName("evil\r\nFilename = 'forged'\t", CodeSet::Utf8),
              "evil\\x0D\\x0AFilename = 'forged'\\x09");
    EXPECT_EQ(EscapeName("\\\\.\\COM5", CodeSet::Utf8), "\\\\.\\COM5");

    // UTF-8 text whose continuation bytes fall in 0x80..0x9F ("€", "Û", "가"), split anywhere,
    // is text in a UTF-8 locale.
    const std::string text = "\xE2\x82\xAC \xC3\x9B \xEA\xB0\x80";
    EXPECT_EQ(ByteByByte(text, CodeSet::Utf8), text);
    // A lone continuation byte or a cut-off character cannot be text.
    EXPECT_EQ(ByteByByte("\x82x\xE2\x82", CodeSet::Utf8), "\\x82x\\xE2\\x82");
    // In a single-byte locale every byte 0x80..0x9F is a C1 control.
    EXPECT_EQ(EscapeName("\xE2\x82\xAC", CodeSet::SingleByte), "\xE2\\x82\xAC");

    // Code page 949: a lead byte in 0x81..0x9F with its trail is one character; alone, or
    // before a control, it is escaped.
    const std::string korean = "\x81\x41\x9B\xA1\xB0\xA1";
    EXPECT_EQ(ByteByByte(korean, CodeSet::Cp949), korean);
    EXPECT_EQ(EscapeName("\x9B\x1B[2J\x81", CodeSet::Cp949), "\\x9B\\x1B[2J\\x81");
}
