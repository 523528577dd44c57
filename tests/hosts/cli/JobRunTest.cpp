// A job file end to end: --check shows the plan, a job runs a 3-slot station whose records
// carry the job, and the image is locked to the job's SHA-256: refused before any box, and an
// image replaced under a running loop ends the station (status 6) with no box given it.

#include <filesystem>
#include <memory>

#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

#include <fcntl.h>

namespace {

class JobRunTest : public CliTest {
  protected:
    std::string Slot(int k) const { return m_dir.File("slot" + std::to_string(k)); }

    // Starts a box per slot (or keeps it for later), each behind the slot's link.
    void Boxes(int slots, int startNow) {
        for (int k = 1; k <= slots; ++k) {
            m_boxes.push_back(std::make_unique<BoxRunner>(FastBox(m_image)));
            ASSERT_TRUE(m_boxes.back()->Opened()) << m_boxes.back()->OpenError();
            std::filesystem::create_symlink(m_boxes.back()->SlavePath(), Slot(k));
            if (k <= startNow) {
                m_boxes.back()->Start();
            }
        }
    }

    std::string WriteJob(int slots) {
        const UniqueFd image(open(m_dir.File("image.sdl").c_str(), O_RDONLY | O_CLOEXEC));
        m_sha256 = Sha256OfFile(image.Get()).hex;
        std::string text =
            "name = \"line3-fw-2.4\"\nstation = \"L3-S1\"\nimage = \"image.sdl\"\n"
            "sha256 = \"" +
            m_sha256 + "\"\nreport = \"boxes.jsonl\"\n[slots]\n";
        for (int k = 1; k <= slots; ++k) {
            text += "A" + std::to_string(k) + " = \"slot" + std::to_string(k) + "\"\n";
        }
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }

    std::vector<std::string> Stavel(std::vector<std::string> args) const {
        args.insert(args.begin(), ProgramPath("stavel"));
        return args;
    }

    std::vector<std::unique_ptr<BoxRunner>> m_boxes;
    std::string m_sha256;
};

TEST_F(JobRunTest, AJobIsCheckedThenRunsAThreeSlotStationWhoseRecordsNameIt) {
    MakeImage(30000);
    Boxes(3, 3);
    const std::string job = WriteJob(3);
    ChildProcess check(Stavel({"--job", job, "--check"}));
    EXPECT_EQ(check.Wait().status, 0) << check.Stdout() << check.Stderr();
    EXPECT_NE(check.Stdout().find("the job can run: 3 slot(s)\n"), std::string::npos)
        << check.Stdout();

    ChildProcess station(Stavel({"--job", job, "--operator", "Ann", "--quiet"}));
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    EXPECT_EQ(end.status, 0) << station.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 3u) << station.Stderr();
    for (const Json& r : records) {
        EXPECT_EQ(JsonStringAt(r, "result"), "pass") << r;
        EXPECT_EQ(JsonStringAt(r, "job"), "line3-fw-2.4");
        EXPECT_EQ(JsonStringAt(r, "station"), "L3-S1");
        EXPECT_EQ(JsonStringAt(r, "operator"), "Ann");
        EXPECT_EQ(JsonStringAt(r, "image_sha256"), m_sha256);
    }
}

TEST_F(JobRunTest, AnImageThatIsNotTheJobsIsNeverServed) {
    MakeImage(30000);
    Boxes(2, 1);
    const std::string job = WriteJob(2);
    ChildProcess station(Stavel({"--job", job, "--loop", "--count", "2", "--quiet"}));
    ASSERT_TRUE(station.WaitForStderr("A1: PASS")) << station.Stderr();
    // Another image under the same name, put there as a copy would, between two boxes.
    WriteBytes(m_dir.File("image.new"), std::string(30000, 'x'));
    std::filesystem::rename(m_dir.File("image.new"), m_dir.File("image.sdl"));
    m_boxes[1]->Start();
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    EXPECT_EQ(end.status, 6) << station.Stderr();
    EXPECT_NE(station.Stderr().find(": the slot stops serving: "), std::string::npos)
        << station.Stderr();
    for (const Json& r : Records(ReportPath())) {
        EXPECT_EQ(JsonStringAt(r, "image_sha256"), m_sha256) << r;
    }
    for (auto& box : m_boxes) {
        box->Stop();
    }

    // The next run refuses it before any box, with both hashes, and so does --check.
    ChildProcess again(Stavel({"--job", job}));
    EXPECT_EQ(again.Wait().status, 2);
    EXPECT_NE(again.Stderr().find("not the required image: its SHA-256 is "), std::string::npos)
        << again.Stderr();
    EXPECT_NE(again.Stderr().find(", not " + m_sha256 + "; no box is served"), std::string::npos);
    ChildProcess check(Stavel({"--job", job, "--check"}));
    EXPECT_EQ(check.Wait().status, 2);
    EXPECT_NE(check.Stdout().find(": WRONG IMAGE\n"), std::string::npos) << check.Stdout();

    // A mistake in the job is named by its line.
    WriteBytes(job, "speed = 9600\n" + ReadBytes(job));
    ChildProcess broken(Stavel({"--job", job, "--check"}));
    EXPECT_EQ(broken.Wait().status, 2);
    EXPECT_NE(broken.Stderr().find("job.toml:1: unknown key 'speed'"), std::string::npos)
        << broken.Stderr();
}

}  // namespace
