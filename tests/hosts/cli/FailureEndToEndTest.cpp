// One run of the real program per class of failure an operator sees, the test playing the box
// byte by byte: each ends with its exit status, its verdict line on standard error and its
// record. Every reason's exact text is judged in memory (BoxVerdictTest); these check that the
// program gets there.

#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

class FailureEndToEndTest : public CliTest {
  protected:
    void SetUp() override { m_imagePath = MakeImage(5000); }

    std::vector<std::string> Serve(const std::string& device, std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"--report", ReportPath()});
        return StavelServe(device, m_imagePath, extra);
    }

    // START, then the image's first `length` bytes in one request.
    void StartAndAsk(std::uint16_t length) {
        ASSERT_TRUE(m_box.Send(kStartRequest));
        ASSERT_EQ(m_box.Answer(4), kStartAnswer);
        ASSERT_TRUE(m_box.Send(DataRequest(0, length)));
        ASSERT_EQ(m_box.Answer(length), Bytes(m_image.begin(), m_image.begin() + length));
    }

    // Waits for the end: its status, and the one verdict line and the one record it left.
    Json Ended(ChildProcess& tool, int status, const std::string& verdict) {
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(end.exited) << "signal " << end.signal;
        EXPECT_EQ(end.status, status) << tool.Stderr();
        EXPECT_TRUE(std::regex_search(tool.Stderr(), std::regex(": " + verdict + "\n")))
            << tool.Stderr();
        const std::vector<Json> records = Records(ReportPath());
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? Json::object() : records[0];
    }

    std::string m_imagePath;
    ScriptedBox m_box;
};

TEST_F(FailureEndToEndTest, APortThatWillNotOpenSaysWhyAndWhatToDo) {
    const std::string device = "/dev/stavel-test-no-such-tty";
    ChildProcess tool(Serve(device));
    const Json r = Ended(
        tool, 3, "FAIL port could not be opened: " + device + ": open: No such file or directory");
    EXPECT_EQ(JsonStringAt(r, "result"), "fail");
    EXPECT_EQ(JsonNumberAt(r, "bytes"), 0);
    const std::string err = tool.Stderr();
    EXPECT_NE(err.find("stavel: " + device + ": open: No such file or directory. "),
              std::string::npos)
        << err;
    EXPECT_TRUE(err.find("Ports present: ") != std::string::npos ||
                err.find("No serial port is present") != std::string::npos)
        << err;
    // The log keeps its own texts; the reason is for the operator, on standard error.
    const std::string port = std::to_string(AssignedPort(err, device));
    EXPECT_EQ(tool.Stdout(), kBanner + "Connection Error!!!, Check the serial port number.\r\n" +
                                 FilenameLine(m_imagePath, 5000) + kPleaseConnect +
                                 "Connection COM" + port + " Error!!!\r\n" + kStopUploading);
}

TEST_F(FailureEndToEndTest, APortLostMidDownloadEndsWithStatus4WithoutSpinning) {
    ChildProcess tool(Serve(m_box.SlavePath()));
    const int port = WaitConnected(tool, m_box.SlavePath());
    StartAndAsk(1000);
    m_box.Line().ReleaseSlave();
    m_box.Line().CloseMaster();
    const Json r = Ended(tool, 4, "FAIL port lost at 20 % \\([0-9]+(\\.[0-9])? s\\)");
    EXPECT_TRUE(std::regex_match(JsonStringAt(r, "reason"),
                                 std::regex("port lost at 20 % \\([0-9]+(\\.[0-9])? s\\)")))
        << r;
    EXPECT_EQ(JsonNumberAt(r, "bytes"), 1000);
    EXPECT_DOUBLE_EQ(JsonNumberAt(r, "coverage"), 0.2);
    EXPECT_TRUE(tool.Stdout().ends_with("Connection COM" + std::to_string(port) + " lost!!!\r\n" +
                                        kStopUploading))
        << tool.Stdout();
    // Loose on purpose: it tells a tool polling the dead port from one waiting.
    const ChildProcess::End end = tool.Wait();
    EXPECT_LT(end.cpuSeconds, 0.5 * end.elapsedSeconds);
}

// The box asks for a large block and reads none of it: the tool writes more than the line can
// hold. Answers the COM number.
int AskAndStopReading(ChildProcess& tool, ScriptedBox& box) {
    const int port = WaitConnected(tool, box.SlavePath());
    EXPECT_TRUE(box.Send(DataRequest(0, 65535)));
    pollfd in{box.Line().MasterFd(), POLLIN, 0};
    EXPECT_EQ(poll(&in, 1, 10000), 1) << "the answer has begun";
    return port;
}

TEST_F(FailureEndToEndTest, ABoxThatStopsReadingEndsWithStatus5AndTheShareItWasGiven) {
    m_imagePath = MakeImage(70000);
    ChildProcess tool(Serve(m_box.SlavePath()));
    const int port = AskAndStopReading(tool, m_box);
    const Json r = Ended(tool, 5, "FAIL box stopped reading at [0-9]+ % \\([0-9]+(\\.[0-9])? s\\)");
    EXPECT_NE(tool.Stdout().find("Connection COM" + std::to_string(port) +
                                 ": the box stopped reading!!!\r\n" + kStopUploading),
              std::string::npos)
        << tool.Stdout();
    // Once the stall was seen, the rest of the block was not written.
    std::size_t received = 0;
    for (Bytes got; !(got = m_box.Line().ReadAvailable()).empty();) {
        received += got.size();
    }
    EXPECT_GT(received, 0u);
    EXPECT_LT(received, 65535u);
    // The share is what the tool wrote before the stall, not the block the box asked for.
    const double sent = JsonNumberAt(r, "coverage_sent");
    EXPECT_DOUBLE_EQ(sent, JsonNumberAt(r, "bytes") / 70000) << r;
    EXPECT_LT(sent, JsonNumberAt(r, "coverage")) << r;
    EXPECT_TRUE(JsonStringAt(r, "reason")
                    .starts_with("box stopped reading at " +
                                 std::to_string(static_cast<int>(sent * 100)) + " % ("))
        << r;
}

// A write blocked on a box that does not read is cut short by a signal, before the stall bound.
TEST_F(FailureEndToEndTest, ASignalWhileTheBoxIsNotReadingStopsAtOnce) {
    m_imagePath = MakeImage(70000);
    ChildProcess tool(Serve(m_box.SlavePath()));
    AskAndStopReading(tool, m_box);
    tool.Signal(SIGINT);
    const Json r = Ended(tool, 130, "ABORTED stopped by the operator");
    EXPECT_EQ(JsonStringAt(r, "result"), "aborted");
    EXPECT_TRUE(tool.Stdout().ends_with(kStopUploading)) << tool.Stdout();
    EXPECT_EQ(CountOf(tool.Stdout(), "stopped reading"), 0) << tool.Stdout();
}

// The image is cut short between two requests: not a byte more goes out.
TEST_F(FailureEndToEndTest, AnImageChangedMidDownloadStopsBeforeAnyByteOfTheChange) {
    ChildProcess tool(Serve(m_box.SlavePath()));
    WaitConnected(tool, m_box.SlavePath());
    StartAndAsk(1000);
    ASSERT_EQ(truncate(m_imagePath.c_str(), 1500), 0);
    ASSERT_TRUE(m_box.Send(DataRequest(1000, 1000)));
    const Json r = Ended(tool, 6, "FAIL image changed during the download");
    EXPECT_EQ(m_box.Line().ReadAvailable(), Bytes{}) << "not a byte after the change";
    EXPECT_TRUE(
        tool.Stdout().ends_with("Image file changed during the download!!!\r\n" + kStopUploading))
        << tool.Stdout();
    EXPECT_EQ(JsonStringAt(r, "reason"), "image changed during the download");
    EXPECT_EQ(JsonNumberAt(r, "bytes"), 1000);
    EXPECT_EQ(JsonNumberAt(r, "requests"), 1);
}

// What cannot be written once the box is served ends the run with 8: the record (the verdict
// line says so itself), or the log (a line names the file and the system's reason, the record
// says so, and no file is named PASS with nothing in it). The continuous log goes to /dev/full;
// the per-box folder is a full tmpfs where one can be mounted.
TEST_F(FailureEndToEndTest, ARecordOrALogThatCannotBeWrittenEndsWithStatus8) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string full = m_dir.File("full");
    std::filesystem::create_directory(full);
    const bool mounted = mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") == 0;
    if (mounted) {
        std::ofstream filler(full + "/filler", std::ios::binary);
        filler << std::string(128 * 1024, '#');  // more than fits: the folder is full
    }
    using Args = std::vector<std::string>;
    for (const Args& extra :
         {Args{"--report", "/dev/full"}, Args{"--report", ReportPath(), "--log-file", "/dev/full"},
          Args{"--report", ReportPath(), "--log-dir", full}}) {
        if (extra.back() == full && !mounted) {
            continue;  // no tmpfs to fill here
        }
        ChildProcess tool(StavelServe(m_box.SlavePath(), m_imagePath, extra));
        WaitConnected(tool, m_box.SlavePath());
        StartAndAsk(1000);
        ASSERT_TRUE(m_box.Send(kExitAppRequest));
        EXPECT_EQ(tool.Wait().status, 8) << tool.Stderr();
        const std::string err = tool.Stderr();
        if (extra.size() == 2) {
            EXPECT_TRUE(std::regex_search(
                err, std::regex(": PASS 1000 bytes in [0-9.]+ s, sha256 [0-9a-f]{12}\xE2\x80\xA6, "
                                "record not written: /dev/full: write: No space left on device\n")))
                << err;
            continue;
        }
        EXPECT_NE(err.find("stavel: the log file cannot be written: "), std::string::npos) << err;
        EXPECT_NE(err.find(": write: No space left on device\n"), std::string::npos) << err;
        EXPECT_FALSE(JsonBoolAt(Records(ReportPath()).back(), "log_complete")) << extra[2];
    }
    if (mounted) {
        for (const auto& item : std::filesystem::directory_iterator(full)) {
            EXPECT_EQ(item.path().string().find("PASS"), std::string::npos) << item.path();
        }
        umount(full.c_str());
    }
}

// --loop --count 3 with the second box falling silent after START: every box has its record,
// the tally says so, and the run ends with 1.
TEST_F(FailureEndToEndTest, ALoopCountWithASilentBoxEndsWithStatus1AndARecordPerBox) {
    m_imagePath = MakeImage(3000);
    ChildProcess tool(Serve(m_box.SlavePath(), {"--loop", "--count=3", "--timeout", "1"}));
    for (int n = 1; n <= 3; ++n) {
        WaitConnected(tool, m_box.SlavePath(), n);
        if (n == 2) {
            // With --loop the bound counts once the box speaks.
            ASSERT_TRUE(m_box.Send(kStartRequest));
            ASSERT_EQ(m_box.Answer(4), kStartAnswer);
            continue;
        }
        StartAndAsk(3000);
        ASSERT_TRUE(m_box.Send(kExitAppRequest));
    }
    const ChildProcess::End end = tool.Wait();
    EXPECT_EQ(end.status, 1) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find("stavel: 2 passed, 1 failed\n"), std::string::npos)
        << tool.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(JsonStringAt(records[0], "result"), "pass");
    EXPECT_EQ(JsonStringAt(records[1], "reason"), "box silent for 1 s");
    EXPECT_EQ(JsonNumberAt(records[1], "requests"), 0);
    EXPECT_EQ(JsonStringAt(records[2], "result"), "pass");
}

}  // namespace
