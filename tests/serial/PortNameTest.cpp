#include <gtest/gtest.h>

#include <climits>

#include "serial/SerialLink.h"

namespace {

// Names as the download control writes them and reads them back (atoi's reading after "COM",
// which does not count at the very start).
TEST(PortName, NumbersAndNamesGoBothWaysAsTheDownloadControlReadsThem) {
    EXPECT_EQ(CSerialLink::PortNameFromNumber(4), "COM4");
    EXPECT_EQ(CSerialLink::PortNameFromNumber(5), "\\\\.\\COM5");
    const std::pair<const char*, int> names[] = {
        {"COM1", 1},
        {"COM4", 4},
        {"\\\\.\\COM12", 12},
        {"COM5", 0},
        {"", 0},
        {"\\\\.\\COMx", 0},
        {"com3", 0},
        {"/dev/ttyUSB0", 0},
        {"x COM1", 1},
        {"\\\\.\\COM 7", 7},
        {"\\\\.\\COM12abc", 12},
        {"\\\\.\\COM99999999999999", INT_MAX},
    };
    for (const auto& [name, number] : names) {
        EXPECT_EQ(CSerialLink::PortNumberFromName(name), number) << name;
    }
    for (int n : {INT_MIN, -100000, -3, 0, 1, 4, 5, 99999, INT_MAX}) {
        EXPECT_EQ(CSerialLink::PortNumberFromName(CSerialLink::PortNameFromNumber(n)), n);
    }
}

}  // namespace
