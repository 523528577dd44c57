// The line never waits and is never wedged: a box that stops reading ends the run with its own
// reason, a signal cuts such a wait short, and through a modelled adapter no write waits for
// the wire and the rate shown stays within the line.

#include <poll.h>
#include <signal.h>

#include <cstdlib>
#include <regex>

#include "bench/linemodel/LineRelay.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/hosts/cli/JsonLine.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

constexpr std::uint32_t kLineRate = 11520;  // 115200 baud, 8N1

class LineRateTest : public CliTest {
  protected:
    // stavel on the scripted box, connected after START; the box then asks for one large block
    // and reads none of it.
    void AskForABlockAndStopReading(ScriptedBox& box, ChildProcess& tool, int& port) {
        ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stdout() << tool.Stderr();
        port = AssignedPort(tool.Stderr(), box.SlavePath());
        ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();
        ASSERT_TRUE(box.Send(DataRequest(0, 65535)));
        // The answer has begun: the tool is writing more than the line can hold.
        pollfd in{box.Line().MasterFd(), POLLIN, 0};
        ASSERT_EQ(poll(&in, 1, 10000), 1);
    }

    // Everything the tool managed to write, once it has ended.
    std::size_t ReceivedInAll(ScriptedBox& box) {
        std::size_t total = 0;
        for (std::vector<std::uint8_t> got; !(got = box.Line().ReadAvailable()).empty();) {
            total += got.size();
        }
        return total;
    }
};

TEST_F(LineRateTest, BoxThatStopsReadingEndsTheRunWithItsReasonAndStatus5) {
    const std::string image = MakeImage(70000);
    ScriptedBox box;
    const std::string report = m_dir.File("boxes.jsonl");
    ChildProcess tool(StavelServe(box.SlavePath(), image, {"--report", report}));
    int port = 0;
    AskForABlockAndStopReading(box, tool, port);

    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 5) << tool.Stderr();
    const std::string out = tool.Stdout();
    const std::string stalled =
        "Connection COM" + std::to_string(port) + ": the box stopped reading!!!\r\n";
    EXPECT_NE(out.find(stalled + kStopUploading), std::string::npos) << out;
    EXPECT_EQ(CountOf(out, "lost!!!"), 0) << out;
    // Once the stall was seen, the rest of the block was not written: the box finds less than
    // the block on the line, and nothing follows.
    const std::size_t received = ReceivedInAll(box);
    EXPECT_GT(received, 0u);
    EXPECT_LT(received, 65535u);

    // The verdict and the record say the same.
    EXPECT_NE(tool.Stderr().find(": FAIL box stopped reading at "), std::string::npos)
        << tool.Stderr();
    const std::vector<std::string> lines = ReportLines(ReadBytes(report));
    ASSERT_EQ(lines.size(), 1u);
    const std::optional<JsonObject> record = ParseJsonObject(lines[0]);
    ASSERT_TRUE(record) << lines[0];
    EXPECT_EQ(record->at("result").text, "fail");
    // The share is what the tool wrote to the port before the stall, not the block the box
    // asked for (93 % of the image).
    const double sent = record->at("coverage_sent").number;
    EXPECT_DOUBLE_EQ(sent, record->at("bytes").number / 70000) << lines[0];
    EXPECT_LT(sent, record->at("coverage").number) << lines[0];
    EXPECT_TRUE(record->at("reason").text.starts_with(
        "box stopped reading at " + std::to_string(static_cast<int>(sent * 100)) + " % ("))
        << lines[0];
}

TEST_F(LineRateTest, SignalWhileTheBoxIsNotReadingStopsCleanlyAtOnce) {
    const std::string image = MakeImage(70000);
    ScriptedBox box;
    ChildProcess tool(StavelServe(box.SlavePath(), image));
    int port = 0;
    AskForABlockAndStopReading(box, tool, port);

    tool.Signal(SIGINT);
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 130) << tool.Stderr();
    const std::string out = tool.Stdout();
    ASSERT_GE(out.size(), kStopUploading.size());
    EXPECT_EQ(out.substr(out.size() - kStopUploading.size()), kStopUploading) << out;
    // The stop came before the stall bound: the write was cut short, not timed out.
    EXPECT_EQ(CountOf(out, "stopped reading"), 0) << out;
}

TEST_F(LineRateTest, ThroughAModelledAdapterNoWriteWaitsForTheWireAndTheRateStaysWithinTheLine) {
    const std::uint64_t size = 40000;
    const std::string image = MakeImage(size);
    StbSimOptions options = FastBox(m_image);
    options.lineBytesPerSecond = kLineRate;
    options.paceReceive = false;  // the model paces the tool's bytes
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();

    LineRelay adapter;
    const std::string shared = m_dir.File("line-model");
    std::string error;
    ASSERT_TRUE(adapter.Start(box.SlavePath(), LineModelConfig::For(LineKind::Ftdi, kLineRate),
                              shared, error))
        << error;
    ChildProcess tool(
        StavelServe(adapter.InnerPath(), image),
        {"LD_PRELOAD=" + ProgramPath("liblinemodel_preload.so"), "STAVEL_LINE_MODEL=" + shared,
         // A sanitizer's runtime would otherwise insist on being preloaded first.
         "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    box.Start();
    const StbVerdict verdict = box.Join();
    ASSERT_TRUE(verdict.ok) << verdict.message << tool.Stderr();
    const ChildProcess::End end = tool.Wait();
    EXPECT_TRUE(end.exited && end.status == 0) << tool.Stderr();
    EXPECT_EQ(box.Stats().imageBytes, size);

    EXPECT_EQ(adapter.Shared().drainCalls.load(), 0u);
    // The shim saw the tool's port: every byte it wrote went through the model.
    EXPECT_GE(adapter.Shared().serverWritten.load(), size);

    const std::string err = tool.Stderr();
    const std::regex rate(R"(([0-9]+) B/s)");
    int rates = 0;
    for (std::sregex_iterator it(err.begin(), err.end(), rate), last; it != last; ++it) {
        ++rates;
        EXPECT_LE(std::atoll((*it)[1].str().c_str()), static_cast<long long>(kLineRate))
            << it->str();
    }
    EXPECT_GE(rates, 5) << err;
}

}  // namespace
