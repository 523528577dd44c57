// --box-id: the box's identity from its console, line by line, whatever the box prints.

#include "download/BoxIdScanner.h"

#include <gtest/gtest.h>

namespace {

TEST(BoxIdScanner, TheFirstMatchingLineGivesTheIdAndLongLinesAreCut) {
    EXPECT_FALSE(BoxIdPattern::Compile("SN: \\w+"));   // no capture group
    EXPECT_FALSE(BoxIdPattern::Compile("(a)(b)"));     // two
    EXPECT_FALSE(BoxIdPattern::Compile("SN: (\\w+"));  // not an expression
    const auto pattern = BoxIdPattern::Compile("Serial number: (\\w+)");
    ASSERT_TRUE(pattern);
    BoxIdScanner scanner(*pattern);

    // Split between reads, ended by CR or LF; only the first id counts.
    EXPECT_FALSE(scanner.Feed("Boot 2.07\r\nSerial num"));
    EXPECT_EQ(scanner.Feed("ber: SN4711\r\nSerial number: SN9\n"), "SN4711");
    EXPECT_FALSE(scanner.Feed("Serial number: SN9\n"));

    // A megabyte without a line break: the line is matched once, cut at 1 KiB, and what follows
    // the cut is not searched; the next line is.
    scanner.Reset();
    EXPECT_FALSE(scanner.Feed(std::string(1024 * 1024, 'x') + "Serial number: LATE"));
    EXPECT_EQ(scanner.Feed("\nSerial number: NEXT\n"), "NEXT");
    scanner.Reset();
    EXPECT_EQ(scanner.Feed("Serial number: EARLY " + std::string(2000, 'y')), "EARLY");
}

}  // namespace
