// The station's table in memory: eighty columns whatever the names and reasons, the box's
// identity as a column of its own once boxes print one, the last verdict kept beside the slot's
// state, a line beneath a slot its port holds up, and a stalled box with no time left.

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
    failed.last = LastVerdict{BoxResult::Fail,
                              "box silent for 120 s, and a reason far longer than any column",
                              "box-silent",
                              "",
                              {}};

    std::vector<std::string> lines = Lines(StationTableText({loading, failed}));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), 80u) << line;
    }
    EXPECT_EQ(lines[0].find("BOX"), std::string::npos);
    EXPECT_TRUE(lines[1].starts_with("/dev/s…port0 loading       43% 11.1 kB/s  0:03 2/0/0"))
        << lines[1];
    EXPECT_TRUE(lines[2].ends_with(" 0/1/0     FAIL box silent for 12…")) << lines[2];

    failed.last->boxId = "SN4711-0042-ABCDEF";
    lines = Lines(StationTableText({loading, failed}));
    EXPECT_NE(lines[0].find(" BOX "), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[2].ends_with(" 0/1/0     SN471…CDEF FAIL box si…")) << lines[2];
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), 80u) << line;
    }

    // The box is unplugged after its verdict: the verdict stays, the port's state beneath it.
    failed.last->boxId.clear();
    failed.state = SlotState::PortAbsent;
    failed.port = PortProblem{PortTrouble::Absent,
                              "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0: open: "
                              "No such file or directory"};
    // A box that has sent nothing for 6 s: how long, a rate of 0 and no time left.
    loading.figures.rate = 0;
    loading.figures.etaSeconds.reset();
    loading.figures.stalledSeconds = 6;
    lines = Lines(StationTableText({loading, failed}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].starts_with("/dev/s…port0 stalled 6 s   43%     0 B/s     - 2/0/0"))
        << lines[1];
    EXPECT_TRUE(
        lines[2].starts_with("A2           no port        0%         -     - 0/1/0     "
                             "FAIL box silent"))
        << lines[2];
    EXPECT_TRUE(lines[3].starts_with("             \u26A0 no port: /dev/serial/by-path/pci-"))
        << lines[3];
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), 80u) << line;
    }
}

// The tally's rows: two aborted boxes give a yield of none, not 0 %.
TEST(StationTable, TheTallysYieldIsNoneWhileNoBoxIsJudged) {
    // Two aborted boxes: the tally's yield is none, not 0 %.
    EXPECT_EQ(TallyRow("total", 0, 0, 2, 0, 9.4),
              "  total                          0       0       2      \u2013        \u2013      "
              "4.7 s\n");
    EXPECT_EQ(TallyRow("A1", 2, 1, 0, 1, 18),
              "  A1                             2       1       0    67%      33%      6.0 s\n");
    EXPECT_EQ(
        TallyRow("A2", 0, 0, 0, 0, 0),
        "  A2                             0       0       0      \u2013        \u2013          "
        "\u2013\n");
}

}  // namespace
