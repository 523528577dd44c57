// Whether a box's console is text, in the code set in force: a box at the wrong line speed
// is told apart from one that is not in download mode.

#include "download/ConsoleText.h"

#include <gtest/gtest.h>

#include "tests/support/codepage/CodeSetGuard.h"

namespace {

TEST(ConsoleText, CountsWholeCharactersOfTheCodeSetAsTextAndTheRestAsNot) {
    {
        const CodeSetGuard utf8(CodeSet::Utf8);
        ConsoleTextTally tally;
        tally.Add("Boot 2.07\r\n\tok\b");
        tally.Add("caf\xC3");  // a character split between two reads
        tally.Add("\xA9 \xE2\x82\xAC");
        EXPECT_EQ(tally.Text(), 24);
        EXPECT_EQ(tally.Other(), 0);
        tally.Add(std::string("\x01\x7F\xFF\xC0\xAF", 5));  // controls, a stray byte, an overlong
        EXPECT_EQ(tally.Other(), 5);
        EXPECT_FALSE(tally.MostlyNotText());
    }
    {
        const CodeSetGuard cp949(CodeSet::Cp949);
        ConsoleTextTally tally;
        tally.Add(kGa + kTrailA + "\xB0");  // 가, a trail byte 'A', and a lead the next read ends
        tally.Add("\xA1");
        EXPECT_EQ(tally.Text(), 6);
        EXPECT_EQ(tally.Other(), 0);
    }
    // What a UART at the wrong speed makes of a line: mostly not text.
    const CodeSetGuard utf8(CodeSet::Utf8);
    ConsoleTextTally garbled;
    garbled.Add("\x86\xF8\x9C\xE6q\x80\xFE\x1B\x92k\xAD\xC3\x28");
    EXPECT_TRUE(garbled.MostlyNotText()) << garbled.Text() << " " << garbled.Other();
}

}  // namespace
