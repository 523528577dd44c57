#include <gtest/gtest.h>

#include <climits>

#include "serial/SerialLink.h"

namespace {

TEST(PortName, NumbersGiveShortNamesUpToFourAndDeviceNamesOtherwise) {
    EXPECT_EQ(CSerialLink::PortNameFromNumber(1), "COM1");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(4), "COM4");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(5), "\\\\.\\COM5");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(12), "\\\\.\\COM12");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(0), "\\\\.\\COM0");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(-3), "\\\\.\\COM-3");
}

TEST(PortName, NamesGiveNumbersTheWayTheDownloadControlReadsThemBack) {
    EXPECT_EQ(CSerialLink::PortNumberFromName("COM1"), 1);
    EXPECT_EQ(CSerialLink::PortNumberFromName("COM4"), 4);
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COM12"), 12);
    // "COM" at the very start does not count, so the short form above 4 gives nothing.
    EXPECT_EQ(CSerialLink::PortNumberFromName("COM5"), 0);
    EXPECT_EQ(CSerialLink::PortNumberFromName("COM12"), 0);
    EXPECT_EQ(CSerialLink::PortNumberFromName(""), 0);
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COMx"), 0);
    EXPECT_EQ(CSerialLink::PortNumberFromName("com3"), 0);
    EXPECT_EQ(CSerialLink::PortNumberFromName("/dev/ttyUSB0"), 0);
    // atoi's reading: blanks and a sign before the digits, anything after them ignored.
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COM 7"), 7);
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COM-3"), -3);
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COM12abc"), 12);
    EXPECT_EQ(CSerialLink::PortNumberFromName("x COM1"), 1);
    EXPECT_EQ(CSerialLink::PortNumberFromName("\\\\.\\COM99999999999999"), INT_MAX);
}

TEST(PortName, EveryNumberSurvivesTheRoundTrip) {
    auto roundTrip = [](int n) {
        return CSerialLink::PortNumberFromName(CSerialLink::PortNameFromNumber(n));
    };
    for (int n = -100000; n <= 100000; ++n) {
        ASSERT_EQ(roundTrip(n), n);
    }
    for (int n : {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX, 1 << 30, -(1 << 30)}) {
        EXPECT_EQ(roundTrip(n), n);
    }
}

}  // namespace
