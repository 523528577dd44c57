// The test plays the box byte by byte, so the whole of stavel's standard output is known in
// advance and compared exactly, and every answer on the line is checked byte for byte.

#include <chrono>
#include <cstdio>
#include <regex>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

constexpr std::uint32_t kImageSize = 4000;

// Modified Julian Date of a civil date: days since 17 November 1858.
int MjdOf(int year, unsigned month, unsigned day) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / std::chrono::month{month} /
                        std::chrono::day{day}};
    const sys_days epoch{std::chrono::year{1858} / November / 17};
    return static_cast<int>((date - epoch).count());
}

struct Stamp {
    int year = 0;
    unsigned month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    std::chrono::sys_seconds AsSeconds() const {
        using namespace std::chrono;
        return sys_days{std::chrono::year{year} / std::chrono::month{month} /
                        std::chrono::day{day}} +
               hours{hour} + minutes{minute} + seconds{second};
    }
};

// Takes the "[UTC]" or "[LOCAL]" line out of `out`, leaving a marker in its place.
bool TakeTimeLine(std::string& out, const std::string& tag, Stamp& stamp) {
    const std::regex line("\\[" + tag + "\\] *: ([0-9]{4})-([0-9]{2})-([0-9]{2}), " +
                          "([0-9]{2}):([0-9]{2}):([0-9]{2})\n");
    std::smatch m;
    if (!std::regex_search(out, m, line)) {
        return false;
    }
    stamp = {std::stoi(m[1]),
             static_cast<unsigned>(std::stoi(m[2])),
             static_cast<unsigned>(std::stoi(m[3])),
             std::stoi(m[4]),
             std::stoi(m[5]),
             std::stoi(m[6])};
    out.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                "<" + tag + ">\n");
    return true;
}

std::string OffsetLine(std::uint32_t offset, std::uint16_t length) {
    char text[64];
    std::snprintf(text, sizeof text, "Offset=0x%08x, Len=0x%04x\r\n", offset, length);
    return text;
}

class ExactLogTest : public CliTest {
  protected:
    Bytes ImageBytes(std::uint32_t offset, std::uint32_t length) const {
        const std::uint32_t end = std::min<std::uint32_t>(offset + length, kImageSize);
        return offset >= end ? Bytes{} : Bytes(m_image.begin() + offset, m_image.begin() + end);
    }

    // Asks for a block and checks that exactly these image bytes come back. A request that
    // gets no answer is followed by the next one, which shows that nothing stray was sent.
    void Block(std::uint32_t offset, std::uint16_t length) {
        ASSERT_TRUE(m_box.Send(DataRequest(offset, length)));
        const Bytes expected = ImageBytes(offset, length);
        if (expected.empty()) {
            ASSERT_TRUE(m_box.WaitTaken());
        } else {
            EXPECT_EQ(m_box.Answer(expected.size()), expected)
                << "block of " << length << " at " << offset;
        }
        m_expectedDebug += "[ZUDI] => STB_DATA_REQ\r\n" + OffsetLine(offset, length);
    }

    void RunScript(bool debug);

    ScriptedBox m_box;
    std::string m_expectedDebug;
};

void ExactLogTest::RunScript(bool debug) {
    const std::string image = MakeImage(kImageSize);
    std::vector<std::string> extra;
    if (debug) {
        extra.push_back("--debug");
    }
    // A zone of its own with a half-hour offset, so that local time cannot pass for UTC.
    ChildProcess tool(StavelServe(m_box.SlavePath(), image, extra), {"TZ=STB-5:30"});
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stdout() << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), m_box.SlavePath());
    ASSERT_NE(port, 0) << tool.Stderr();
    // START reconnects; the box may speak once the port is open again.
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();

    std::string expected = kBanner + ConnectedLine(port) + FilenameLine(image, kImageSize) +
                           kPleaseConnect + ConnectedLine(port);
    auto traced = [&](const std::string& line) { return debug ? line : std::string(); };

    // Console text with a terminal escape and a NUL, then a start frame split across writes.
    const std::string console =
        std::string("OK\r\n\x1b[1mboot\x1b[0m\r\n", 19) + std::string(1, '\0') + "ready\r\n";
    ASSERT_TRUE(m_box.Send(console + "\x02"));
    ASSERT_TRUE(m_box.WaitTaken());
    ASSERT_TRUE(m_box.Send(Bytes{0x01, 0x03}));
    EXPECT_EQ(m_box.Answer(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    // Not a terminal: passed on as the box sent it; the NUL formats to nothing.
    expected += "OK\r\n\x1b[1mboot\x1b[0m\r\nready\r\n" + traced("[ZUDI] => STB_START\r\n");

    ASSERT_TRUE(m_box.Send(kTimeRequest));
    const Bytes time = m_box.Answer(8);
    expected += traced("[ZUDI] => STB_TIME_REQ\r\n") + "<UTC>\n<LOCAL>\n";

    Block(0, 256);
    Block(256, 1000);
    Block(0x0302, 0x0203);  // the payload holds 03 02 02 03: counted, not searched
    Block(100, 0);
    Block(kImageSize, 100);
    Block(kImageSize - 100, 300);
    Block(0, 65535);
    expected += traced(m_expectedDebug);

    ASSERT_TRUE(m_box.Send(Bytes{0x02, 0x07, 0x03}));
    ASSERT_TRUE(m_box.WaitTaken());
    expected += traced("[ZUDI] Unknown STB command 0x07.\r\n");
    ASSERT_TRUE(m_box.Send(Bytes{0x02, 0x01, 0x41}));
    ASSERT_TRUE(m_box.WaitTaken());
    expected += "A";
    ASSERT_TRUE(m_box.Send(kExitAppRequest));
    expected += traced("EXIT_APP from STB\r\n") + kStopUploading;

    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_TRUE(m_box.Line().ReadAvailable().empty()) << "bytes nobody asked for";

    std::string out = tool.Stdout();
    Stamp utc;
    Stamp local;
    ASSERT_TRUE(TakeTimeLine(out, "UTC", utc)) << out;
    ASSERT_TRUE(TakeTimeLine(out, "LOCAL", local)) << out;
    EXPECT_EQ(out, expected);

    // The two lines name the same moment, and the answer carries the local one.
    EXPECT_EQ(local.AsSeconds() - utc.AsSeconds(), std::chrono::minutes(330));
    ASSERT_EQ(time.size(), 8u);
    const int mjd = MjdOf(local.year, local.month, local.day);
    EXPECT_EQ(time,
              (Bytes{0x02, 0x03, static_cast<std::uint8_t>(mjd >> 8),
                     static_cast<std::uint8_t>(mjd & 0xFF), static_cast<std::uint8_t>(local.hour),
                     static_cast<std::uint8_t>(local.minute),
                     static_cast<std::uint8_t>(local.second), 0x03}));

    EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(port));
}

}  // namespace

TEST_F(ExactLogTest, DebugModeTracesEveryRequestAndAnswersByteExact) {
    RunScript(true);
}

TEST_F(ExactLogTest, WithoutDebugOnlyTheBoxTextIsLogged) {
    RunScript(false);
}
