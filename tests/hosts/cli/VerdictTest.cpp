// Every box ends with a verdict on standard error, a record in the report and an exit status:
// a pass, each way a box fails, an image that changes under the download, a silent box, a
// --count run, and a report that survives a hard kill.

#include <signal.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/digest/Sha256.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/hosts/cli/JsonLine.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

const std::vector<std::string> kKeys{
    "id",         "slot",        "device", "adapter",  "result",   "reason",        "start",
    "end",        "seconds",     "bytes",  "requests", "coverage", "coverage_sent", "image",
    "image_size", "image_sha256"};

class VerdictTest : public CliTest {
  protected:
    std::string ReportPath() const { return m_dir.File("boxes.jsonl"); }
    std::vector<std::string> Serve(const std::string& port, const std::string& image,
                                   std::vector<std::string> extra = {}) const {
        extra.insert(extra.begin(), {"--report", ReportPath()});
        return StavelServe(port, image, extra);
    }

    // Every line of the report, each of which must be a whole record.
    std::vector<JsonObject> Records() const {
        const std::string text = ReadBytes(ReportPath());
        EXPECT_TRUE(text.empty() || text.back() == '\n') << "a torn last line:\n" << text;
        std::vector<JsonObject> records;
        for (const std::string& line : ReportLines(text)) {
            const auto object = ParseJsonObject(line);
            EXPECT_TRUE(object) << "not a JSON object: " << line;
            EXPECT_EQ(JsonKeysInOrder(line), kKeys) << line;
            if (object) {
                records.push_back(*object);
            }
        }
        return records;
    }

    std::string ImageSha256(const std::string& path) const {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const FileDigest digest = Sha256OfFile(fd);
        close(fd);
        return digest.hex;
    }
};

std::string Text(const JsonObject& r, const std::string& key) {
    const auto it = r.find(key);
    return it == r.end() ? "<missing>" : it->second.text;
}

double Number(const JsonObject& r, const std::string& key) {
    const auto it = r.find(key);
    EXPECT_TRUE(it != r.end() && it->second.kind == JsonValue::Kind::Number) << key;
    return it == r.end() ? -1 : it->second.number;
}

// The verdict line the tool wrote for its port `port` on `device`.
std::string VerdictPrefix(int port, const std::string& device) {
    return "stavel: COM" + std::to_string(port) + " (" + device + "): ";
}

// The tool has (re)opened the port for the `times`-th time and can be talked to.
void WaitConnected(ChildProcess& tool, const ScriptedBox& box, int times) {
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect, times)) << tool.Stdout() << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), times + 1)) << tool.Stdout();
}

// START, then the image's first `length` bytes in one request.
void StartAndAsk(ScriptedBox& box, const Bytes& image, std::uint16_t length) {
    ASSERT_TRUE(box.Send(kStartRequest));
    ASSERT_EQ(box.Answer(4), kStartAnswer);
    ASSERT_TRUE(box.Send(DataRequest(0, length)));
    ASSERT_EQ(box.Answer(length), Bytes(image.begin(), image.begin() + length));
}

TEST_F(VerdictTest, APassGivesTheVerdictLineAndARecordWithEveryKey) {
    const std::uint64_t size = 60000;
    const std::string image = MakeImage(size);
    BoxRunner box(FastBox(m_image));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(Serve(box.SlavePath(), image));
    box.Start();
    const ChildProcess::End end = tool.Wait();
    EXPECT_TRUE(box.Join().ok);
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0) << tool.Stderr();

    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    const std::string sha = ImageSha256(image);
    ASSERT_EQ(sha.size(), 64u);
    const std::string err = tool.Stderr();
    const auto at = err.find(VerdictPrefix(port, box.SlavePath()) + "PASS 60000 bytes in ");
    ASSERT_NE(at, std::string::npos) << err;
    const std::string rest = err.substr(err.find(" in ", at) + 4);
    EXPECT_TRUE(std::regex_search(
        rest, std::regex("^[0-9]+\\.[0-9] s, sha256 " + sha.substr(0, 12) + "\xE2\x80\xA6\n")))
        << err;

    const std::vector<JsonObject> records = Records();
    ASSERT_EQ(records.size(), 1u);
    const JsonObject& r = records[0];
    EXPECT_TRUE(std::regex_match(
        Text(r, "id"),
        std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
    EXPECT_EQ(Text(r, "slot"), box.SlavePath());
    EXPECT_EQ(Text(r, "device"), box.SlavePath());
    EXPECT_EQ(r.at("adapter").kind, JsonValue::Kind::Null) << "a pty is no USB adapter";
    EXPECT_EQ(Text(r, "result"), "pass");
    EXPECT_EQ(Text(r, "reason"), "");
    const std::regex iso(
        "20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\."
        "[0-9]{3}Z");
    EXPECT_TRUE(std::regex_match(Text(r, "start"), iso)) << Text(r, "start");
    EXPECT_TRUE(std::regex_match(Text(r, "end"), iso)) << Text(r, "end");
    EXPECT_LE(Text(r, "start"), Text(r, "end"));
    EXPECT_GT(Number(r, "seconds"), 0);
    EXPECT_LT(Number(r, "seconds"), end.elapsedSeconds);
    EXPECT_EQ(Number(r, "bytes"), 60000);
    EXPECT_EQ(Number(r, "requests"), 15);  // 14 blocks of 4096 and the rest
    EXPECT_EQ(Number(r, "coverage"), 1);
    EXPECT_EQ(Text(r, "image"), image);
    EXPECT_EQ(Number(r, "image_size"), 60000);
    EXPECT_EQ(Text(r, "image_sha256"), sha);
}

TEST_F(VerdictTest, ABoxThatAsksForLittlePassesAndItsCoverageSaysHowLittle) {
    const std::string image = MakeImage(5000);
    ScriptedBox box;
    ChildProcess tool(Serve(box.SlavePath(), image));
    WaitConnected(tool, box, 1);
    StartAndAsk(box, m_image, 1000);
    ASSERT_TRUE(box.Send(DataRequest(500, 1000)));  // half of it again
    ASSERT_EQ(box.Answer(1000).size(), 1000u);
    ASSERT_TRUE(box.Send(kExitAppRequest));
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    const std::vector<JsonObject> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Text(records[0], "result"), "pass");
    EXPECT_EQ(Number(records[0], "bytes"), 2000);
    EXPECT_EQ(Number(records[0], "requests"), 2);
    EXPECT_DOUBLE_EQ(Number(records[0], "coverage"), 0.3);
}

TEST_F(VerdictTest, EachFailureHasItsReasonItsStatusAndItsRecord) {
    const std::string image = MakeImage(5000);
    {
        SCOPED_TRACE("the port cannot be opened");
        const std::string device = "/dev/stavel-test-no-such-tty";
        ChildProcess tool(Serve(device, image));
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 3) << tool.Stderr();
        const std::string reason =
            "port could not be opened: " + device + ": open: No such file or directory";
        const int port = AssignedPort(tool.Stderr(), device);
        EXPECT_NE(tool.Stderr().find(VerdictPrefix(port, device) + "FAIL " + reason + "\n"),
                  std::string::npos)
            << tool.Stderr();
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(Text(records[0], "result"), "fail");
        EXPECT_EQ(Text(records[0], "reason"), reason);
        EXPECT_EQ(Number(records[0], "bytes"), 0);
        std::filesystem::remove(ReportPath());
    }
    {
        SCOPED_TRACE("the port is lost");
        ScriptedBox box;
        ChildProcess tool(Serve(box.SlavePath(), image));
        WaitConnected(tool, box, 1);
        StartAndAsk(box, m_image, 1000);
        box.Line().ReleaseSlave();
        box.Line().CloseMaster();
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 4) << tool.Stderr();
        const std::string ending = "Connection COM" +
                                   std::to_string(AssignedPort(tool.Stderr(), box.SlavePath())) +
                                   " lost!!!\r\n" + kStopUploading;
        EXPECT_TRUE(tool.Stdout().ends_with(ending)) << tool.Stdout();
        // Loose on purpose: it tells a tool polling the dead port from one waiting.
        EXPECT_LT(end.cpuSeconds, 0.5 * end.elapsedSeconds);
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_TRUE(std::regex_match(Text(records[0], "reason"),
                                     std::regex("port lost at 20 % \\([0-9]+ s\\)")))
            << Text(records[0], "reason");
        EXPECT_NE(tool.Stderr().find(": FAIL port lost at 20 % ("), std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(Number(records[0], "bytes"), 1000);
        EXPECT_DOUBLE_EQ(Number(records[0], "coverage"), 0.2);
        std::filesystem::remove(ReportPath());
    }
    {
        SCOPED_TRACE("stopped by the operator");
        BoxRunner box([&] {
            StbSimOptions options = FastBox(m_image, 1000);
            options.lineBytesPerSecond = 2000;  // slow enough for the signal to come mid-way
            return options;
        }());
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        ChildProcess tool(Serve(box.SlavePath(), image));
        box.Start();
        ASSERT_TRUE(tool.WaitForStderr("( 1000 / 5000 ) Bytes")) << tool.Stderr();
        tool.Signal(SIGINT);
        const ChildProcess::End end = tool.Wait();
        box.Stop();
        box.Join();
        EXPECT_EQ(end.status, 130) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find(": ABORTED stopped by the operator\n"), std::string::npos)
            << tool.Stderr();
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(Text(records[0], "reason"), "stopped by the operator");
        EXPECT_EQ(Text(records[0], "result"), "aborted");
        std::filesystem::remove(ReportPath());
    }
    {
        SCOPED_TRACE("a report that cannot be opened");
        Pty pty;
        const std::string report = m_dir.File("no-such-folder/boxes.jsonl");
        ChildProcess tool(StavelServe(pty.SlavePath(), image, {"--report", report}));
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 2);
        EXPECT_NE(tool.Stderr().find("stavel: the report cannot be written: " + report +
                                     ": open: No such file or directory\n"),
                  std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(tool.Stdout(), "") << "no box is served without its report";
    }
    if (access("/dev/full", W_OK) == 0) {
        SCOPED_TRACE("a report that cannot take the record");
        ScriptedBox box;
        ChildProcess tool(StavelServe(box.SlavePath(), image, {"--report", "/dev/full"}));
        WaitConnected(tool, box, 1);
        StartAndAsk(box, m_image, 1000);
        ASSERT_TRUE(box.Send(kExitAppRequest));
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 8) << tool.Stderr();
        // The verdict line itself says that the record is missing, and why.
        EXPECT_NE(tool.Stderr().find(": PASS 1000 bytes in "), std::string::npos) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find(", record not written: /dev/full: write: No space left on "
                                     "device\n"),
                  std::string::npos)
            << tool.Stderr();
    }
}

// The image is cut short while the box is between two requests: the tool sends nothing more,
// says so in the log, stops as Stop does and fails the box. Every other kind of change takes
// the same path; they are in ImageChangeTest.
TEST_F(VerdictTest, AnImageChangedMidDownloadStopsBeforeAnyByteOfTheChange) {
    const std::string image = MakeImage(5000);
    ScriptedBox box;
    ChildProcess tool(Serve(box.SlavePath(), image));
    WaitConnected(tool, box, 1);
    StartAndAsk(box, m_image, 1000);
    ASSERT_EQ(truncate(image.c_str(), 1500), 0);
    ASSERT_TRUE(box.Send(DataRequest(1000, 1000)));
    const ChildProcess::End end = tool.Wait();
    EXPECT_EQ(end.status, 6) << tool.Stderr();
    EXPECT_EQ(box.Line().ReadAvailable(), Bytes{}) << "not a byte after the change";
    EXPECT_TRUE(
        tool.Stdout().ends_with("Image file changed during the download!!!\r\n" + kStopUploading))
        << tool.Stdout();
    EXPECT_NE(tool.Stderr().find(": FAIL image changed during the download\n"), std::string::npos)
        << tool.Stderr();
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Text(records[0], "reason"), "image changed during the download");
    EXPECT_EQ(Number(records[0], "bytes"), 1000);
    EXPECT_EQ(Number(records[0], "requests"), 1);
}

// The same against the simulated box, which checks every byte it gets: `cp` of another image
// over the served one while blocks are on the line.
TEST_F(VerdictTest, ACopyOverTheImageWhileTheBoxLoadsGivesItNoByteOfTheNewImage) {
    const std::uint64_t size = 60000;
    const std::string image = MakeImage(size);
    StbSimOptions options = FastBox(m_image, 1024);
    options.lineBytesPerSecond = 11520;  // about five seconds at 115200 baud
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(Serve(box.SlavePath(), image));
    box.Start();
    ASSERT_TRUE(tool.WaitForStderr("( 12288 / 60000 ) Bytes")) << tool.Stderr();
    {
        const Bytes other(size, 0xA5);
        const int fd = open(image.c_str(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        for (std::size_t at = 0; at < other.size(); at += 4096) {
            const std::size_t n = std::min<std::size_t>(4096, other.size() - at);
            ASSERT_EQ(write(fd, other.data() + at, n), static_cast<ssize_t>(n));
        }
        close(fd);
    }
    const ChildProcess::End end = tool.Wait();
    box.Stop();
    const StbVerdict verdict = box.Join();
    EXPECT_EQ(end.status, 6) << tool.Stderr();
    EXPECT_FALSE(verdict.ok);
    EXPECT_EQ(verdict.message.find("wrong"), std::string::npos) << verdict.message;
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Text(records[0], "reason"), "image changed during the download");
    EXPECT_LT(Number(records[0], "bytes"), 60000);
    EXPECT_EQ(static_cast<double>(box.Stats().imageBytes), Number(records[0], "bytes"));
}

TEST_F(VerdictTest, ASilentBoxFailsAfterTheTimeout) {
    const std::string image = MakeImage(5000);
    {
        SCOPED_TRACE("nothing at all after START");
        ScriptedBox box;
        ChildProcess tool(Serve(box.SlavePath(), image, {"--timeout", "2"}));
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 7) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find(": FAIL box silent for 2 s\n"), std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(CountOf(tool.Stdout(), kStopUploading), 1);
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(Text(records[0], "reason"), "box silent for 2 s");
        EXPECT_GE(Number(records[0], "seconds"), 2.0);
        EXPECT_EQ(Number(records[0], "requests"), 0);
        std::filesystem::remove(ReportPath());
    }
    {
        SCOPED_TRACE("a box that stops asking mid-download");
        ScriptedBox box;
        ChildProcess tool(Serve(box.SlavePath(), image, {"--timeout=2"}));
        WaitConnected(tool, box, 1);
        StartAndAsk(box, m_image, 1000);
        const auto asked = std::chrono::steady_clock::now();
        const ChildProcess::End end = tool.Wait();
        EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2))
            << "the bound counts from the box's last byte";
        EXPECT_EQ(end.status, 7) << tool.Stderr();
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(Text(records[0], "reason"), "box silent for 2 s");
        EXPECT_EQ(Number(records[0], "requests"), 1);
    }
}

// A block of 64 KiB takes almost six seconds at 115200 baud, during which the box listens and
// says nothing: that is no silence.
TEST_F(VerdictTest, ABoxBeingAnsweredIsNotSilent) {
    const std::string image = MakeImage(70000);
    StbSimOptions options = FastBox(m_image, 65535);
    options.lineBytesPerSecond = 11520;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(Serve(box.SlavePath(), image, {"--timeout", "1"}));
    box.Start();
    const ChildProcess::End end = tool.Wait();
    EXPECT_TRUE(box.Join().ok);
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Text(records[0], "result"), "pass");
}

TEST_F(VerdictTest, LoopCountEndsAfterNBoxesWithOneRecordEach) {
    const std::string image = MakeImage(20000);
    {
        SCOPED_TRACE("every box passes");
        StbSimOptions options = FastBox(m_image);
        options.boxes = 3;
        BoxRunner box(std::move(options));
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        ChildProcess tool(Serve(box.SlavePath(), image, {"--loop", "--count", "3"}));
        box.Start();
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(box.Join().ok);
        EXPECT_EQ(end.status, 0) << tool.Stderr();
        EXPECT_EQ(CountOf(tool.Stderr(), ": PASS 20000 bytes in "), 3) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find("stavel: 3 passed, 0 failed\n"), std::string::npos);
        const auto records = Records();
        ASSERT_EQ(records.size(), 3u);
        std::set<std::string> ids;
        for (const auto& r : records) {
            EXPECT_EQ(Text(r, "result"), "pass");
            ids.insert(Text(r, "id"));
        }
        EXPECT_EQ(ids.size(), 3u) << "two boxes never share an id";
        std::filesystem::remove(ReportPath());
    }
    {
        SCOPED_TRACE("the second box falls silent");
        const std::string small = MakeImage(3000, "small.sdl");
        ScriptedBox box;
        ChildProcess tool(Serve(box.SlavePath(), small, {"--loop", "--count=3", "--timeout", "2"}));
        for (int n = 1; n <= 3; ++n) {
            SCOPED_TRACE("box " + std::to_string(n));
            WaitConnected(tool, box, n);
            if (n == 2) {
                // Says START, then nothing: with --loop the bound counts once the box speaks.
                ASSERT_TRUE(box.Send(kStartRequest));
                ASSERT_EQ(box.Answer(4), kStartAnswer);
                continue;
            }
            StartAndAsk(box, m_image, 3000);
            ASSERT_TRUE(box.Send(kExitAppRequest));
        }
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 1) << tool.Stderr();
        const auto records = Records();
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(Text(records[0], "result"), "pass");
        EXPECT_EQ(Text(records[1], "result"), "fail");
        EXPECT_EQ(Text(records[1], "reason"), "box silent for 2 s");
        EXPECT_EQ(Text(records[2], "result"), "pass");
        EXPECT_NE(tool.Stderr().find("stavel: 2 passed, 1 failed\n"), std::string::npos)
            << tool.Stderr();
    }
}

TEST_F(VerdictTest, AHardKillLeavesOnlyWholeRecords) {
    const std::string image = MakeImage(2000);
    StbSimOptions options = FastBox(m_image, 512);
    options.boxes = 1000;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(Serve(box.SlavePath(), image, {"--loop"}));
    box.Start();
    ASSERT_TRUE(tool.WaitForStderr(": PASS 2000 bytes", 5)) << tool.Stderr();
    tool.Signal(SIGKILL);
    const ChildProcess::End end = tool.Wait();
    box.Stop();
    box.Join();
    EXPECT_FALSE(end.exited);
    const auto records = Records();
    EXPECT_GE(records.size(), 5u);
    std::set<std::string> ids;
    for (const auto& r : records) {
        ids.insert(Text(r, "id"));
    }
    EXPECT_EQ(ids.size(), records.size());
}

}  // namespace
