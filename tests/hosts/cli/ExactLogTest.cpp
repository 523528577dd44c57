// The single box end to end: the test plays the box byte by byte, so the whole of stavel's
// standard output is known in advance and compared exactly, every answer on the line is checked
// byte for byte, and the run ends with its PASS verdict line, its record and status 0. The port
// is given as a COM number in short options, so the settings file stores it.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <regex>

#include "download/Mjd.h"
#include "platform/digest/Sha256.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

constexpr std::uint32_t kImageSize = 4000;

// Takes the "[UTC]" or "[LOCAL]" line out of `out`, leaving a marker in its place; answers its
// year, month, day, hour, minute and second (its exact form is checked in memory).
std::array<int, 6> TakeTimeLine(std::string& out, const std::string& tag) {
    std::array<int, 6> t{};
    const std::size_t at = out.find("[" + tag + "]");
    const std::size_t end = out.find('\n', at);
    if (at == std::string::npos || end == std::string::npos ||
        std::sscanf(out.c_str() + at + tag.size() + 2, " : %d-%d-%d, %d:%d:%d", &t[0], &t[1], &t[2],
                    &t[3], &t[4], &t[5]) != 6) {
        ADD_FAILURE() << "no " << tag << " line: " << out;
        return t;
    }
    out.replace(at, end + 1 - at, "<" + tag + ">\n");
    return t;
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

    ScriptedBox m_box;
    std::string m_expectedDebug;
};

TEST_F(ExactLogTest, DebugModeTracesEveryRequestAnswersByteExactAndPasses) {
    const std::string image = MakeImage(kImageSize);
    constexpr int port = 20;
    // A zone of its own with a half-hour offset, so that local time cannot pass for UTC.
    ChildProcess tool({ProgramPath("stavel"), "-p", "com20", "-i", image, "-d", "--ini", IniPath(),
                       "--report", ReportPath()},
                      {"TZ=STB-5:30", "STAVEL_COM20=" + m_box.SlavePath()});
    // START reconnects; the box may speak once the port is open again.
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout() << tool.Stderr();

    std::string expected = kBanner + ConnectedLine(port) + FilenameLine(image, kImageSize) +
                           kPleaseConnect + ConnectedLine(port);

    // Console text with a terminal escape and a NUL, then a start frame split across writes.
    const std::string console =
        std::string("OK\r\n\x1b[1mboot\x1b[0m\r\n", 19) + std::string(1, '\0') + "ready\r\n";
    ASSERT_TRUE(m_box.Send(console + "\x02"));
    ASSERT_TRUE(m_box.WaitTaken());
    ASSERT_TRUE(m_box.Send(Bytes{0x01, 0x03}));
    EXPECT_EQ(m_box.Answer(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    // Not a terminal: passed on as the box sent it; the NUL formats to nothing.
    expected += "OK\r\n\x1b[1mboot\x1b[0m\r\nready\r\n[ZUDI] => STB_START\r\n";

    ASSERT_TRUE(m_box.Send(kTimeRequest));
    const Bytes time = m_box.Answer(8);
    expected += "[ZUDI] => STB_TIME_REQ\r\n<UTC>\n<LOCAL>\n";

    Block(0, 256);
    Block(256, 1000);
    Block(0x0302, 0x0203);  // the payload holds 03 02 02 03: counted, not searched
    Block(100, 0);
    Block(kImageSize, 100);
    Block(kImageSize - 100, 300);
    Block(0, 65535);
    expected += m_expectedDebug;

    ASSERT_TRUE(m_box.Send(Bytes{0x02, 0x07, 0x03}));
    ASSERT_TRUE(m_box.WaitTaken());
    expected += "[ZUDI] Unknown STB command 0x07.\r\n";
    ASSERT_TRUE(m_box.Send(Bytes{0x02, 0x01, 0x41}));
    ASSERT_TRUE(m_box.WaitTaken());
    expected += "A";
    ASSERT_TRUE(m_box.Send(kExitAppRequest));
    expected += "EXIT_APP from STB\r\n" + kStopUploading;

    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_TRUE(m_box.Line().ReadAvailable().empty()) << "bytes nobody asked for";

    std::string out = tool.Stdout();
    const std::array<int, 6> utc = TakeTimeLine(out, "UTC");
    const std::array<int, 6> local = TakeTimeLine(out, "LOCAL");
    EXPECT_EQ(out, expected);

    // The two lines name the same moment, and the answer carries the local one.
    const auto when = [](const std::array<int, 6>& t) {
        using namespace std::chrono;
        return sys_days{year{t[0]} / t[1] / t[2]} + hours{t[3]} + minutes{t[4]} + seconds{t[5]};
    };
    EXPECT_EQ(when(local) - when(utc), std::chrono::minutes(330));
    const int mjd = ModifiedJulianDate(local[0] - 1900, local[1], local[2]);
    EXPECT_EQ(time, (Bytes{0x02, 0x03, static_cast<std::uint8_t>(mjd >> 8),
                           static_cast<std::uint8_t>(mjd & 0xFF),
                           static_cast<std::uint8_t>(local[3]), static_cast<std::uint8_t>(local[4]),
                           static_cast<std::uint8_t>(local[5]), 0x03}));

    EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(port));

    // The verdict names the port as given and its device; the record says the same.
    const int fd = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string sha = Sha256OfFile(fd).hex;
    close(fd);
    ASSERT_EQ(sha.size(), 64u);
    EXPECT_TRUE(std::regex_search(tool.Stderr(),
                                  std::regex("stavel: COM20 \\(" + m_box.SlavePath() +
                                             "\\): PASS 5871 bytes in [0-9]+\\.[0-9] s, sha256 " +
                                             sha.substr(0, 12) + "\xE2\x80\xA6\n")))
        << tool.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 1u);
    const Json& r = records[0];
    EXPECT_EQ(JsonStringAt(r, "slot"), "com20");
    EXPECT_EQ(JsonStringAt(r, "device"), m_box.SlavePath());
    EXPECT_TRUE(r.at("adapter").is_null()) << "a pty is no USB adapter";
    EXPECT_EQ(JsonStringAt(r, "result"), "pass");
    EXPECT_EQ(JsonStringAt(r, "reason", "<missing>"), "");
    EXPECT_EQ(JsonNumberAt(r, "bytes"), 5871);
    EXPECT_EQ(JsonNumberAt(r, "requests"), 7);
    EXPECT_EQ(JsonNumberAt(r, "coverage"), 1);
    EXPECT_EQ(JsonStringAt(r, "image"), image);
    EXPECT_EQ(JsonNumberAt(r, "image_size"), kImageSize);
    EXPECT_EQ(JsonStringAt(r, "image_sha256"), sha);
}

}  // namespace
