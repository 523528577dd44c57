// A box's session kept on the line with --capture and played again on a desk with
// stbsim --replay: the same tool gives the same answers, a tool given another image is caught
// at the first block that differs, and a box that hung up leaves a whole capture whose replay
// hangs up too.

#include <algorithm>
#include <cstdio>

#include "capture/CaptureReader.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class CaptureReplayTest : public CliTest {
  protected:
    // The one capture in `folder`, checked to be named for `verdict`.
    std::string OnlyCapture(const std::string& folder, const std::string& verdict) {
        const std::vector<std::string> names = FilesIn(folder);
        EXPECT_EQ(names.size(), 1u) << "no partial file left beside the capture";
        if (names.empty()) {
            return {};
        }
        EXPECT_TRUE(names[0].ends_with("_" + verdict + ".cap")) << names[0];
        return folder + "/" + names[0];
    }

    // stbsim replays `capture` as fast as the tool answers, against stavel given `image`;
    // answers stbsim's end, and stavel's status.
    ChildProcess::End Replay(const std::string& capture, const std::string& image, int& toolStatus,
                             std::string& simOut, const std::string& boxImage = {}) {
        ChildProcess sim({ProgramPath("stbsim"), "--replay", capture, "--image",
                          boxImage.empty() ? m_dir.File("image.sdl") : boxImage, "--fast"});
        EXPECT_TRUE(sim.WaitForStdout("\n")) << sim.Stderr();
        const std::string out = sim.Stdout();
        const std::string prefix = "stbsim: box on ";
        EXPECT_TRUE(out.starts_with(prefix)) << out;
        const std::string pty = out.substr(prefix.size(), out.find('\n') - prefix.size());
        ChildProcess tool(StavelServe(pty, image, {"--quiet"}));
        const ChildProcess::End end = sim.Wait();
        toolStatus = tool.Wait().status;
        simOut = sim.Stdout() + sim.Stderr();
        return end;
    }
};

TEST_F(CaptureReplayTest,
       APassingBoxReplaysToTheSameAnswersAndAnotherImageShowsTheFirstDifference) {
    const std::string image = MakeImage(40000);
    const std::string captures = m_dir.File("captures");
    StbSimOptions options = FastBox(m_image);
    options.consoleNoise = true;
    BoxRunner box(options);
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess line(StavelServe(box.SlavePath(), image, {"--capture", captures, "--quiet"}));
    box.Start();
    EXPECT_TRUE(box.Join().ok);
    ASSERT_EQ(line.Wait().status, 0) << line.Stderr();
    const std::string capture = OnlyCapture(captures, "PASS");

    ChildProcess info({ProgramPath("stavel"), "--record-info", capture});
    ASSERT_EQ(info.Wait().status, 0) << info.Stderr();
    const std::string summary = info.Stdout();
    EXPECT_NE(summary.find("verdict   PASS\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find(" 10 data, 1 exit)\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find(" s  STB_START\nlast "), std::string::npos) << summary;
    EXPECT_NE(summary.find(" s  EXIT_APP\n"), std::string::npos) << summary;

    // On the desk: the same image gives the same answers.
    int toolStatus = -1;
    std::string said;
    ChildProcess::End end = Replay(capture, image, toolStatus, said);
    EXPECT_EQ(end.status, 0) << said;
    EXPECT_NE(said.find("stbsim: replay OK: "), std::string::npos) << said;
    EXPECT_EQ(toolStatus, 0);

    // A tool given an image changed in its fifth block is caught there, at the first wrong byte.
    std::vector<std::uint8_t> changed = m_image;
    changed[0x4E20] ^= 0xFF;
    const std::string other = m_dir.File("changed.sdl");
    WriteBytes(other, std::string(changed.begin(), changed.end()));
    end = Replay(capture, other, toolStatus, said);
    EXPECT_EQ(end.status, 1) << said;
    EXPECT_NE(said.find("stbsim: replay FAILED: first difference at "), std::string::npos) << said;
    EXPECT_NE(said.find(" (STB_DATA_REQ 4096 bytes at 0x00004000): the tool's 4096 bytes have "
                        "SHA-256 "),
              std::string::npos)
        << said;
    char wrong[160];
    std::snprintf(wrong, sizeof wrong,
                  "the first wrong byte is at image offset 0x00004E20: the tool sent 0x%02X where "
                  "the image has 0x%02X\n",
                  changed[0x4E20], m_image[0x4E20]);
    EXPECT_NE(said.find(wrong), std::string::npos) << said;
    EXPECT_EQ(toolStatus, 4) << "the replay's box went away mid-download";

    // The replay's image must be the capture's own.
    ChildProcess refused({ProgramPath("stbsim"), "--replay", capture, "--image", other});
    EXPECT_EQ(refused.Wait().status, 2);
    EXPECT_NE(refused.Stderr().find("stbsim: the image is not the capture's"), std::string::npos)
        << refused.Stderr();
}

TEST_F(CaptureReplayTest, ABoxThatHangsUpEndsItsCaptureCleanlyAndItsReplayHangsUpToo) {
    const std::string image = MakeImage(40000);
    const std::string captures = m_dir.File("captures");
    StbSimOptions options = FastBox(m_image);
    options.hangUpAfterBytes = 12000;
    BoxRunner box(options);
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    // A station of one slot: the slot's own process keeps the capture.
    ChildProcess line(StavelServe("A1=" + box.SlavePath(), image,
                                  {"--json", "--capture", captures, "--capture-max", "64K"}));
    box.Start();
    EXPECT_TRUE(box.Join().ok);
    ASSERT_EQ(line.Wait().status, 1) << line.Stderr();
    const std::string capture = OnlyCapture(captures, "FAIL");
    ASSERT_TRUE(capture.find("/A1_") != std::string::npos) << capture;

    auto reader = CaptureReader::Open(capture);
    ASSERT_TRUE(reader) << reader.Failure().Describe();
    std::vector<CaptureEntry> entries;
    while (std::optional<CaptureEntry> entry = (*reader)->Next()) {
        entries.push_back(*entry);
    }
    EXPECT_FALSE((*reader)->CutShort());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const CaptureEntry& e) { return e.kind == CaptureKind::Stopped; }),
              0);
    EXPECT_GE(std::count_if(entries.begin(), entries.end(),
                            [](const CaptureEntry& e) { return e.kind == CaptureKind::Data; }),
              3);
    ASSERT_EQ(entries.back().kind, CaptureKind::Event);
    const Json ended = *ParseJsonObject(entries.back().body);
    EXPECT_EQ(JsonStringAt(ended, "event"), "ended");
    EXPECT_EQ(JsonStringAt(ended, "reason"), "port-lost");
    EXPECT_EQ(JsonStringAt(ended["record"], "result"), "fail");
    EXPECT_EQ(JsonStringAt(ended["record"], "slot"), "A1");

    int toolStatus = -1;
    std::string said;
    const ChildProcess::End end = Replay(capture, image, toolStatus, said);
    EXPECT_EQ(end.status, 0) << said;
    EXPECT_NE(said.find("; hung up as the box did\n"), std::string::npos) << said;
    EXPECT_EQ(toolStatus, 4) << "the tool loses its port as it did on the line";
}

// Files support was sent by the first version of the format, kept as that version wrote them: a
// box that passed, and one whose cable was pulled (its failure's status written as a number).
TEST_F(CaptureReplayTest, CapturesOfTheFirstVersionStillPrintAndReplay) {
    const std::string folder = STAVEL_SOURCE_DIR "/tests/capture/v1/";
    const std::string image = folder + "image.bin";
    const struct {
        const char* file;
        const char* verdict;
        int toolStatus;
    } cases[] = {{"pass.cap", "verdict   PASS\n", 0},
                 {"fail.cap", "verdict   FAIL port lost at 47 % (0 s)\n", 4}};
    for (const auto& c : cases) {
        ChildProcess info({ProgramPath("stavel"), "--record-info", folder + c.file});
        ASSERT_EQ(info.Wait().status, 0) << info.Stderr();
        EXPECT_NE(info.Stdout().find(c.verdict), std::string::npos) << info.Stdout();
        EXPECT_NE(info.Stdout().find("(format 1, "), std::string::npos) << info.Stdout();

        int toolStatus = -1;
        std::string said;
        const ChildProcess::End end = Replay(folder + c.file, image, toolStatus, said, image);
        EXPECT_EQ(end.status, 0) << c.file << ": " << said;
        EXPECT_EQ(toolStatus, c.toolStatus) << c.file;
    }
}

}  // namespace
