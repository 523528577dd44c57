// The progress on standard error follows the dialog's bar, the end of a download included.

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

class ProgressTest : public CliTest {};

// At EXIT_APP the bar shows the image size twice and is full; the line on standard error must
// say the same, not the last request's end ("( 512 / 1000 ) Bytes   51%") of a box that ended
// early.
TEST_F(ProgressTest, ExitAppShowsTheFullBarOnStandardError) {
    const std::string image = MakeImage(1000);
    ScriptedBox box;
    ChildProcess tool(StavelServe(box.SlavePath(), image));
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();
    ASSERT_TRUE(box.Send(kStartRequest));
    EXPECT_EQ(box.Answer(4).size(), 4u);
    ASSERT_TRUE(box.Send(DataRequest(0, 512)));
    EXPECT_EQ(box.Answer(512).size(), 512u);
    ASSERT_TRUE(tool.WaitForStderr("( 512 / 1000 ) Bytes")) << tool.Stderr();
    ASSERT_TRUE(box.Send(kExitAppRequest));
    const ChildProcess::End end = tool.Wait();
    EXPECT_TRUE(end.exited && end.status == 0) << tool.Stderr();
    const std::string err = tool.Stderr();
    const auto last = err.rfind("( ");
    ASSERT_NE(last, std::string::npos) << err;
    EXPECT_EQ(err.substr(last, 27), "( 1000 / 1000 ) Bytes  100%") << err;
}

}  // namespace
