// How a run of stavel ends other than by one box's EXIT_APP: one box after another with
// --loop, a signal in the middle of a download, a port that goes away.

#include <signal.h>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

constexpr std::uint32_t kLineRate = 11520;  // 115200 baud, 8N1

class SessionEndTest : public CliTest {};

TEST_F(SessionEndTest, LoopServesThreeBoxesInARowThenStopsCleanlyOnSigterm) {
    const std::uint64_t size = 40000;
    const std::string image = MakeImage(size);
    StbSimOptions options = FastBox(m_image);
    options.boxes = 3;
    options.consoleNoise = true;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(StavelServe(box.SlavePath(), image, {"--loop", "--debug"}));
    box.Start();
    const StbVerdict verdict = box.Join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_EQ(box.Stats().boxesDone, 3);
    EXPECT_EQ(box.Stats().imageBytes, 3 * size);

    // The fourth START: the tool waits for the next box on the line.
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect, 4)) << tool.Stdout() << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 5)) << tool.Stdout();
    tool.Signal(SIGTERM);
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 143);

    const std::string out = tool.Stdout();
    const std::string eachStart = FilenameLine(image, size) + kPleaseConnect + ConnectedLine(port);
    EXPECT_EQ(CountOf(out, eachStart), 4);
    EXPECT_EQ(CountOf(out, "EXIT_APP from STB\r\n" + kStopUploading), 3);
    // The signal stops the waiting fourth download as the Stop button would.
    EXPECT_EQ(CountOf(out, kStopUploading), 4);
    EXPECT_EQ(out.substr(out.size() - (eachStart + kStopUploading).size()),
              eachStart + kStopUploading);
    EXPECT_EQ(CountOf(out, "[ZUDI] => STB_TIME_REQ\r\n"), 3);
    EXPECT_NE(tool.Stderr().find("stavel: 3 box(es) finished\n"), std::string::npos)
        << tool.Stderr();
    EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(port));
}

TEST_F(SessionEndTest, SigintAndSigtermStopARunningDownloadCleanly) {
    const std::uint64_t size = 100000;
    const std::string image = MakeImage(size);
    for (const int signo : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signo == SIGINT ? "SIGINT" : "SIGTERM");
        StbSimOptions options = FastBox(m_image);
        options.lineBytesPerSecond = kLineRate;  // several seconds: the signal comes mid-way
        BoxRunner box(std::move(options));
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        ChildProcess tool(StavelServe(box.SlavePath(), image));
        box.Start();
        ASSERT_TRUE(tool.WaitForStderr("( 4096 / 100000 ) Bytes")) << tool.Stderr();
        tool.Signal(signo);
        const ChildProcess::End end = tool.Wait();
        box.Stop();
        EXPECT_FALSE(box.Join().ok) << "the box cannot have finished";
        ASSERT_TRUE(end.exited) << "signal " << end.signal;
        EXPECT_EQ(end.status, 128 + signo);
        const std::string out = tool.Stdout();
        ASSERT_GE(out.size(), kStopUploading.size());
        EXPECT_EQ(out.substr(out.size() - kStopUploading.size()), kStopUploading) << out;
        EXPECT_EQ(CountOf(out, kStopUploading), 1);
    }
}

TEST_F(SessionEndTest, BoxHangingUpMidDownloadEndsWithStatus4WithoutSpinning) {
    const std::uint64_t size = 100000;
    const std::string image = MakeImage(size);
    StbSimOptions options = FastBox(m_image, 1024);
    options.lineBytesPerSecond = kLineRate;
    options.hangUpAfterBytes = 8192;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(StavelServe(box.SlavePath(), image));
    box.Start();
    const ChildProcess::End end = tool.Wait();
    EXPECT_TRUE(box.Join().ok) << "a box that hangs up as asked is content";
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 4) << tool.Stderr();

    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    const std::string out = tool.Stdout();
    const std::string ending =
        "Connection COM" + std::to_string(port) + " lost!!!\r\n" + kStopUploading;
    ASSERT_GE(out.size(), ending.size());
    EXPECT_EQ(out.substr(out.size() - ending.size()), ending) << out;
    // Most of the run is the paced line: a tool that polls a dead port would show here. Loose
    // on purpose: it tells spinning from waiting, it does not time the tool.
    EXPECT_LT(end.cpuSeconds, 0.5 * end.elapsedSeconds)
        << end.cpuSeconds << " s CPU in " << end.elapsedSeconds << " s";
}

}  // namespace
