// The station's table in memory: eighty columns whatever the names and reasons, and the box's
// identity as a column of its own once boxes print one.

#include <gtest/gtest.h>

#include <sstream>

#include "hosts/cli/StationView.h"

namespace {

// Columns on a terminal: every character but UTF-8's continuation bytes.
std::size_t Columns(const std::string& line) {
    std::size_t n = 0;
    for (const unsigned char c : line) {
        n += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(line.ends_with("\x1b[K")) << line;
        lines.push_back(line.substr(0, line.size() - 3));
    }
    return lines;
}

TEST(StationTable, EightyColumnsAndTheBoxIdOnceBoxesPrintOne) {
    SlotStatus loading;
    loading.slot = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0";
    loading.state = SlotState::Loading;
    loading.figures.percent = 43;
    loading.figures.rate = 11100;
    loading.figures.etaSeconds = 3;
    loading.passes = 2;
    SlotStatus failed;
    failed.slot = "A2";
    failed.state = SlotState::Failed;
    failed.fails = 1;
    failed.last = "FAIL box silent for 120 s, and a reason far longer than any column";

    std::vector<std::string> lines = Lines(StationTableText({loading, failed}));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), 80u) << line;
    }
    EXPECT_EQ(lines[0].find("BOX"), std::string::npos);
    EXPECT_TRUE(lines[1].starts_with("/dev/s…port0 loading     43% 11.1 kB/s  0:03 2/0/0"))
        << lines[1];
    EXPECT_TRUE(lines[2].ends_with(" 0/1/0      FAIL box silent for 12…")) << lines[2];

    failed.boxId = "SN4711-0042-ABCDEF";
    lines = Lines(StationTableText({loading, failed}));
    EXPECT_NE(lines[0].find(" BOX "), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[2].ends_with(" 0/1/0      SN471…CDEF FAIL box si…")) << lines[2];
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), 80u) << line;
    }
}

}  // namespace
