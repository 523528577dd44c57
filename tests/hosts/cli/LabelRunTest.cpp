// Labels end to end: a two-slot station whose boxes print a hostile id sends each PASS's label
// to a raw port the test listens on, the id escaped, and records label true; a single run
// whose printer refuses says so and records label false, its box still passed.

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/printer/RawPort.h"

namespace {

const std::string kHostile = "X^XA^FDpwned^FS~JR";

class LabelRunTest : public CliTest {
  protected:
    std::string WriteJob(int slots, const std::string& printer) {
        const UniqueFd image(open(m_dir.File("image.sdl").c_str(), O_RDONLY | O_CLOEXEC));
        WriteBytes(m_dir.File("pass.zpl"), "^XA\n^FO40,30^FD{box_id} {job} {slot}^FS\n^XZ\n");
        std::string text =
            "name = \"line3\"\nimage = \"image.sdl\"\nsha256 = \"" + Sha256OfFile(image.Get()).hex +
            "\"\nreport = \"boxes.jsonl\"\nlog_dir = \"logs\"\nbox_id = 'Serial number: (\\S+)'\n"
            "label = \"pass.zpl\"\nprinter = \"" +
            printer + "\"\n[slots]\n";
        for (int k = 1; k <= slots; ++k) {
            m_boxes.push_back(std::make_unique<BoxRunner>(Box()));
            EXPECT_TRUE(m_boxes.back()->Opened()) << m_boxes.back()->OpenError();
            const std::string link = m_dir.File("slot" + std::to_string(++m_links));
            std::filesystem::create_symlink(m_boxes.back()->SlavePath(), link);
            text += "A" + std::to_string(k) + " = \"" + link + "\"\n";
        }
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }

    // Switched on once every slot listens, so that each box's id is heard.
    void StartBoxesWhenListening() { ::StartBoxesWhenListening(m_dir.File("logs"), m_boxes); }

    StbSimOptions Box() const {
        StbSimOptions options = FastBox(m_image);
        options.serial = kHostile;
        return options;
    }

    std::vector<std::unique_ptr<BoxRunner>> m_boxes;
    int m_links = 0;
};

TEST_F(LabelRunTest, APassPrintsItsLabelEscapedBeforeItsRecordAndARefusingPrinterIsRecorded) {
    MakeImage(20000);
    RawPort printer;
    ASSERT_NE(printer.Port(), 0);
    const std::string job = WriteJob(2, "tcp://127.0.0.1:" + std::to_string(printer.Port()));
    ChildProcess station({ProgramPath("stavel"), "--job", job, "--quiet"});
    StartBoxesWhenListening();
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    EXPECT_EQ(end.status, 0) << station.Stderr();
    std::vector<std::string> labels = printer.Labels();
    ASSERT_EQ(labels.size(), 2u) << station.Stderr();
    std::sort(labels.begin(), labels.end());
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(labels[static_cast<std::size_t>(k)],
                  "^XA\n^FO40,30^FH_^FDX_5EXA_5EFDpwned_5EFS_7EJR line3 A" + std::to_string(k + 1) +
                      "^FS\n^XZ\n");
    }
    std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 2u) << station.Stderr();
    for (const Json& r : records) {
        EXPECT_EQ(JsonStringAt(r, "result"), "pass") << r;
        EXPECT_EQ(JsonStringAt(r, "box_id"), kHostile) << r;
        EXPECT_EQ(r.at("label"), Json(true)) << r;
    }

    // A printer that refuses: the box passed, its label is not printed, and its record says so.
    std::filesystem::remove(ReportPath());
    std::filesystem::remove_all(m_dir.File("logs"));
    m_boxes.clear();
    const std::string refusing = WriteJob(1, "tcp://127.0.0.1:" + std::to_string(printer.Port()));
    ChildProcess single({ProgramPath("stavel"), "--job", refusing, "--quiet"});
    StartBoxesWhenListening();
    EXPECT_EQ(single.Wait(std::chrono::seconds(60)).status, 0) << single.Stderr();
    EXPECT_NE(single.Stderr().find("stavel: label not printed: 127.0.0.1:" +
                                   std::to_string(printer.Port()) + ": connect: "),
              std::string::npos)
        << single.Stderr();
    records = Records(ReportPath());
    ASSERT_EQ(records.size(), 1u) << single.Stderr();
    EXPECT_EQ(JsonStringAt(records[0], "result"), "pass");
    EXPECT_EQ(records[0].at("label"), Json(false));
}

}  // namespace
