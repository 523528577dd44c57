// --box-id end to end: the box's serial number in its record and verdict line, and a box loaded
// again in the same report is told as a repeat, pointing at its earlier record.

#include <memory>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class BoxIdTest : public CliTest {};

TEST_F(BoxIdTest, AnIdInEveryRecordAndABoxLoadedAgainIsARepeat) {
    const std::string image = MakeImage(20000);
    StbSimOptions options = FastBox(m_image);
    options.boxes = 2;
    options.serial = "SN4711";
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(StavelServe(box.SlavePath(), image,
                                  {"--loop", "--count", "2", "--quiet", "--report", ReportPath(),
                                   "--box-id", "Serial number: (\\w+)", "--operator", "Ann"}));
    // The box is switched on once the tool waits for it, as on a bench.
    WaitConnected(tool, box.SlavePath());
    box.Start();
    const ChildProcess::End end = tool.Wait();
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_TRUE(box.Join().ok);
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 2u) << tool.Stderr();
    EXPECT_EQ(JsonStringAt(records[0], "box_id"), "SN4711");
    EXPECT_TRUE(records[0]["repeat_of"].is_null());
    EXPECT_EQ(JsonStringAt(records[1], "repeat_of"), JsonStringAt(records[0], "id"));
    EXPECT_EQ(JsonStringAt(records[1], "operator"), "Ann");
    EXPECT_EQ(JsonWholeAt(records[1], "schema"), 1);
    EXPECT_NE(tool.Stderr().find(", box SN4711; box SN4711 was loaded before: "), std::string::npos)
        << tool.Stderr();
}

}  // namespace
