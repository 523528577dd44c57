// Whole downloads: stavel against the simulated box over a real pseudo-terminal, every image
// byte checked by the box, the log checked by the test.

#include <thread>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/hosts/cli/LogShape.h"
#include "tools/stbsim/ConsoleText.h"

namespace {

struct Download {
    const char* name;
    std::uint32_t blockSize;
    std::uint64_t imageSize;
    bool noise;
    bool split;
    bool debug;
};

void PrintTo(const Download& d, std::ostream* os) {
    *os << d.name;
}

class DownloadEndToEndTest : public CliTest, public ::testing::WithParamInterface<Download> {};

TEST_P(DownloadEndToEndTest, EveryByteArrivesAndTheLogHoldsTheDialogsLines) {
    const Download& d = GetParam();
    const std::string image = MakeImage(d.imageSize);
    StbSimOptions options = FastBox(m_image, d.blockSize);
    options.consoleNoise = d.noise;
    options.splitFrames = d.split;
    options.splitPauseMs = 5;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();

    ChildProcess tool(
        StavelServe(box.SlavePath(), image,
                    d.debug ? std::vector<std::string>{"--debug"} : std::vector<std::string>{}));
    box.Start();
    const ChildProcess::End end = tool.Wait();
    const StbVerdict verdict = box.Join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    ASSERT_TRUE(end.exited) << "signal " << end.signal << "\n" << tool.Stderr();
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_EQ(box.Stats().imageBytes, d.imageSize);

    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_NE(port, 0) << tool.Stderr();
    const std::string out = tool.Stdout();
    ExpectDownloadLog(out, {port, image, d.imageSize, d.blockSize, d.debug, 1});
    if (d.noise) {
        EXPECT_NE(out.find("loader: next block at 0x"), std::string::npos);
        EXPECT_NE(out.find("\tcrc pending, "), std::string::npos);
    }
    // The image path is the command line's, not the operator's choice: it is not stored.
    EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(port));
}

INSTANTIATE_TEST_SUITE_P(
    BlockSizes, DownloadEndToEndTest,
    ::testing::Values(Download{"Blocks4096NoiseSplitDebug", 4096, 100000, true, true, true},
                      Download{"Blocks65535", 65535, 200000, false, false, false},
                      Download{"Blocks65535Debug", 65535, 200000, true, false, true},
                      Download{"Blocks1000Noise", 1000, 60000, true, false, false},
                      // 770 = 0x0302: every request's length field holds STX and ETX bytes.
                      Download{"Blocks770Debug", 770, 50000, false, false, true},
                      Download{"EmptyImage", 4096, 0, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

class BoxTimingTest : public CliTest {};

// The box may be switched on before the tool is started, or only when the tool asks for it;
// it repeats STB_START until it is answered, and both ways end in a whole download.
TEST_F(BoxTimingTest, BoxSwitchedOnBeforeTheToolOpensThePort) {
    const std::string image = MakeImage(30000);
    BoxRunner box(FastBox(m_image));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    box.Start();
    // Let the box talk to a port nobody has opened yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ChildProcess tool(StavelServe(box.SlavePath(), image));
    const ChildProcess::End end = tool.Wait();
    const StbVerdict verdict = box.Join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_TRUE(end.exited && end.status == 0) << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ExpectDownloadLog(tool.Stdout(), {port, image, 30000, 4096, false, 1});
}

TEST_F(BoxTimingTest, BoxSwitchedOnWhenTheToolAsksForIt) {
    const std::string image = MakeImage(30000);
    BoxRunner box(FastBox(m_image));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(StavelServe(box.SlavePath(), image));
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();
    box.Start();
    const ChildProcess::End end = tool.Wait();
    const StbVerdict verdict = box.Join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_TRUE(end.exited && end.status == 0) << tool.Stderr();
    const std::string out = tool.Stdout();
    ExpectDownloadLog(out, {port, image, 30000, 4096, false, 1});
    // Switched on while the download runs: its boot text reaches the log whole, right after
    // the tool's own lines.
    const std::string opening = kBanner + ConnectedLine(port) + FilenameLine(image, 30000) +
                                kPleaseConnect + ConnectedLine(port) + stbsim::BootBanner(1);
    EXPECT_EQ(out.substr(0, opening.size()), opening);
}

}  // namespace
