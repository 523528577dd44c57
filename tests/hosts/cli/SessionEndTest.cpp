// The --loop end to end: one box after another on a port named by a link (as
// /dev/serial/by-id/... is), each record with the box's id from its console and the same box
// loaded again told as a repeat, the port gone between two boxes and back, then a signal while
// the next box is awaited; and a signal in the middle of a download.

#include <signal.h>
#include <unistd.h>

#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "record/BoxRecord.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class SessionEndTest : public CliTest {};

TEST_F(SessionEndTest, LoopServesBoxesWaitsForAPortThatWentAwayAndStopsCleanlyOnSigterm) {
    const std::uint64_t size = 40000;
    const std::string image = MakeImage(size);
    // A device path is not the window's choice of port: the stored number stays.
    const std::string stored = "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=\r\n\r\n\r\n";
    WriteBytes(IniPath(), stored);
    const std::string link = m_dir.File("ttyBox");
    const std::string log = m_dir.File("line.log");
    StbSimOptions options = FastBox(m_image);
    options.consoleNoise = true;
    options.serial = "SN4711";
    BoxRunner first(options);
    ASSERT_TRUE(first.Opened()) << first.OpenError();
    ASSERT_EQ(symlink(first.SlavePath().c_str(), link.c_str()), 0);
    ChildProcess tool({ProgramPath("stavel"), "--port=" + link, "--image=" + image,
                       "--ini=" + IniPath(), "--loop", "--debug", "--quiet", "--log-file", log,
                       "--timestamps", "--report", ReportPath(), "--box-id",
                       "Serial number: (\\w+)", "--operator", "Ann", "--"});
    const int port = WaitConnected(tool, link);
    ASSERT_NE(port, 0) << tool.Stderr();

    // The line is open; its name goes away before the box ends, so the next START cannot open
    // it: said once, tried every second, until a new line is behind the name with two boxes.
    ASSERT_EQ(unlink(link.c_str()), 0);
    first.Start();
    EXPECT_TRUE(first.Join().ok);
    const std::string waiting = "stavel: COM" + std::to_string(port) + " (" + link +
                                ") cannot be opened again: No such file or directory; trying "
                                "again every second\n";
    ASSERT_TRUE(tool.WaitForStderr(waiting)) << tool.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    options.boxes = 2;
    BoxRunner second(options);
    ASSERT_TRUE(second.Opened()) << second.OpenError();
    ASSERT_EQ(symlink(second.SlavePath().c_str(), link.c_str()), 0);
    // Switched on once the tool listens again, so that it hears the box's banner with its id.
    ASSERT_TRUE(tool.WaitForStderr("opens again; serving the next box\n")) << tool.Stderr();
    second.Start();
    const StbVerdict verdict = second.Join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_EQ(second.Stats().imageBytes, 2 * size);

    // The fourth START: the tool waits for the next box on the line.
    const std::string eachStart = FilenameLine(image, size) + kPleaseConnect + ConnectedLine(port);
    ASSERT_TRUE(tool.WaitForStdout(eachStart, 4)) << tool.Stdout() << tool.Stderr();
    tool.Signal(SIGTERM);
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 143);

    const std::string out = tool.Stdout();
    EXPECT_EQ(CountOf(out, "EXIT_APP from STB\r\n" + kStopUploading), 3);
    EXPECT_EQ(CountOf(out, "[ZUDI] => STB_TIME_REQ\r\n"), 3);
    // The signal stops the waiting fourth download as the Stop button would.
    EXPECT_TRUE(out.ends_with(eachStart + kStopUploading)) << out;
    // One failed START while the port was gone, not one a second.
    EXPECT_EQ(CountOf(out, "Connection COM" + std::to_string(port) + " Error!!!"), 1) << out;
    const std::string err = tool.Stderr();
    EXPECT_EQ(CountOf(err, waiting), 1) << "said once: " << err;
    EXPECT_EQ(CountOf(err, "opens again; serving the next box\n"), 1) << err;
    EXPECT_NE(err.find("stavel: 3 box(es) finished\n"), std::string::npos) << err;
    EXPECT_EQ(err.find(" Bytes "), std::string::npos) << "--quiet shows no progress";
    EXPECT_EQ(ReadBytes(IniPath()), stored);
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 3u) << err;
    EXPECT_EQ(JsonStringAt(records[0], "box_id"), "SN4711");
    EXPECT_TRUE(records[0]["repeat_of"].is_null());
    EXPECT_EQ(JsonStringAt(records[1], "repeat_of"), JsonStringAt(records[0], "id"));
    EXPECT_EQ(JsonStringAt(records[2], "operator"), "Ann");
    EXPECT_EQ(JsonWholeAt(records[2], "schema"), kRecordSchema);
    EXPECT_NE(err.find(", box SN4711; box SN4711 was loaded before: "), std::string::npos) << err;

    // The log file holds the log, each line behind its UTC time.
    const std::string text = ReadBytes(log);
    EXPECT_GE(CountOf(text, "\n"), 20) << text;
    const std::regex stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(std::regex_search(line, stamp)) << line;
    }
    EXPECT_EQ(CountOf(text, "EXIT_APP from STB\r\n"), 3) << text;
}

TEST_F(SessionEndTest, EachSignalStopsARunningDownloadWithAnAbortedRecordAndItsStatus) {
    const std::uint64_t size = 100000;
    const std::string image = MakeImage(size);
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signo);
        StbSimOptions options = FastBox(m_image);
        options.lineBytesPerSecond = 11520;  // several seconds: the signal comes mid-way
        BoxRunner box(std::move(options));
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        ChildProcess tool(StavelServe(box.SlavePath(), image, {"--report", ReportPath()}));
        box.Start();
        ASSERT_TRUE(tool.WaitForStderr("( 4096 / 100000 ) Bytes")) << tool.Stderr();
        tool.Signal(signo);
        const ChildProcess::End end = tool.Wait();
        box.Stop();
        EXPECT_FALSE(box.Join().ok) << "the box cannot have finished";
        ASSERT_TRUE(end.exited) << "signal " << end.signal;
        EXPECT_EQ(end.status, 128 + signo);
        EXPECT_TRUE(tool.Stdout().ends_with(kStopUploading)) << tool.Stdout();
        EXPECT_EQ(CountOf(tool.Stdout(), kStopUploading), 1);
        EXPECT_NE(tool.Stderr().find(": ABORTED stopped by the operator\n"), std::string::npos)
            << tool.Stderr();
        const std::vector<Json> records = Records(ReportPath());
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(JsonStringAt(records[0], "result"), "aborted");
        EXPECT_EQ(JsonStringAt(records[0], "reason"), "stopped by the operator");
        std::remove(ReportPath().c_str());
    }
}

}  // namespace
