// Scans end to end: a two-slot station whose job requires each box's scan takes the scans as
// lines on its standard input. A box loads only once scanned; a box whose console names another
// id than its label fails box-mismatch and, scanned right, loads; a box that passed before fails
// box-repeat; the two refused boxes never get an image byte; a bad scan is refused and said.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "record/BoxRecordCodec.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class ScanRunTest : public CliTest {
  protected:
    // Slots A1 and A2, a box on each printing `serials`' id, its boxes one after another.
    std::string WriteJob(const std::vector<std::pair<std::string, int>>& serials) {
        const UniqueFd image(open(m_dir.File("image.sdl").c_str(), O_RDONLY | O_CLOEXEC));
        std::string text = "name = \"line3\"\nimage = \"image.sdl\"\nsha256 = \"" +
                           Sha256OfFile(image.Get()).hex +
                           "\"\nreport = \"boxes.jsonl\"\nlog_dir = \"logs\"\ntimeout = 60\n"
                           "box_id = 'Serial number: (\\S+)'\nscan = \"required\"\n"
                           "repeats = \"block\"\n[slots]\n";
        for (const auto& [serial, boxes] : serials) {
            StbSimOptions options = FastBox(m_image);
            options.serial = serial;
            options.boxes = boxes;
            m_boxes.push_back(std::make_unique<BoxRunner>(options));
            EXPECT_TRUE(m_boxes.back()->Opened()) << m_boxes.back()->OpenError();
            const std::string link = m_dir.File("slot" + std::to_string(m_boxes.size()));
            std::filesystem::create_symlink(m_boxes.back()->SlavePath(), link);
            text += "A" + std::to_string(m_boxes.size()) + " = \"" + link + "\"\n";
        }
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }

    void Scan(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(write(m_scans.Get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }

    std::vector<std::unique_ptr<BoxRunner>> m_boxes;
    UniqueFd m_scans;  // the station's standard input, a pipe the operator's scans come down
};

TEST_F(ScanRunTest, OnlyAScannedBoxLoadsAndAWrongOrRepeatedBoxGetsNoByte) {
    MakeImage(30000);
    const std::string job = WriteJob({{"SN1", 2}, {"SN9", 1}});
    const std::string fifo = m_dir.File("scans");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Read and write, so that neither end waits for the other to open.
    m_scans.Reset(open(fifo.c_str(), O_RDWR | O_CLOEXEC));
    ChildProcess station({"/bin/sh", "-c", "exec \"$0\" --job \"$1\" --loop --count 2 < \"$2\"",
                          ProgramPath("stavel"), job, fifo});
    StartBoxesWhenListening(m_dir.File("logs"), m_boxes);
    ASSERT_TRUE(station.WaitForStderr("A1: box started")) << station.Stderr();
    ASSERT_TRUE(station.WaitForStderr("A2: box started")) << station.Stderr();

    Scan("SLOT:Z");
    ASSERT_TRUE(station.WaitForStderr("stavel: scan refused: no slot Z\n")) << station.Stderr();
    Scan("SN1");  // the first slot that waits
    ASSERT_TRUE(station.WaitForStderr("A1: PASS")) << station.Stderr();
    Scan("A2 SN2");
    ASSERT_TRUE(
        station.WaitForStderr("A2: FAIL wrong box in socket: scanned SN2, box says SN9, box SN2\n"))
        << station.Stderr();
    Scan("A2 SN9");  // the right label: the same box loads
    ASSERT_TRUE(station.WaitForStderr("A2: PASS")) << station.Stderr();
    ASSERT_TRUE(station.WaitForStderr("A1: box started", 2)) << station.Stderr();
    Scan("A1 SN1");  // A1's second box, which passed before
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    EXPECT_EQ(end.status, 1) << station.Stderr();
    EXPECT_NE(station.Stderr().find("A1: box SN1 scanned; it gets no byte: box SN1 already passed"),
              std::string::npos)
        << station.Stderr();

    for (const auto& box : m_boxes) {
        box->Stop();
        box->Join();
        EXPECT_EQ(box->Stats().imageBytes, m_image.size()) << "one image a box that loaded";
    }
    EXPECT_EQ(Records(ReportPath()).size(), 4u) << "each record follows the record's schema";
    std::map<std::string, std::vector<BoxRecord>> bySlot;
    for (const std::string& line : ReportLines(ReportPath())) {
        const std::optional<BoxRecord> record = ParseBoxRecord(line);
        ASSERT_TRUE(record) << line;
        bySlot[record->slot].push_back(*record);
    }
    ASSERT_EQ(bySlot["A1"].size(), 2u);
    ASSERT_EQ(bySlot["A2"].size(), 2u);
    EXPECT_TRUE(bySlot["A1"][0].Passed());
    EXPECT_EQ(bySlot["A1"][0].boxId, "SN1");
    const BoxRecord& repeat = bySlot["A1"][1];
    EXPECT_EQ(repeat.reasonCode, "box-repeat");
    EXPECT_EQ(repeat.bytes, 0);
    EXPECT_EQ(repeat.repeatOf, bySlot["A1"][0].id);
    const BoxRecord& wrong = bySlot["A2"][0];
    EXPECT_EQ(wrong.reasonCode, "box-mismatch");
    EXPECT_EQ(wrong.boxId, "SN2") << "the record names the label scanned";
    EXPECT_EQ(wrong.bytes, 0);
    EXPECT_TRUE(bySlot["A2"][1].Passed());
    EXPECT_EQ(bySlot["A2"][1].boxId, "SN9");
}

}  // namespace
