// `stavel --demo`: the tool against its own simulated box, ending with the box's verdict.

#include "tests/hosts/cli/CliFixture.h"

namespace {

class DemoTest : public CliTest {};

TEST_F(DemoTest, UnpacedDemoEndsWithTheBoxsVerdictOk) {
    ChildProcess tool({ProgramPath("stavel"), "--demo", "--fast", "--image", MakeImage(50000)});
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find("stavel: box verdict: OK"), std::string::npos) << tool.Stderr();
    const std::string out = tool.Stdout();
    EXPECT_TRUE(out.starts_with(kBanner)) << out;
    EXPECT_NE(out.find("Size = 50000 bytes\r\n"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with(kStopUploading)) << out;
}

}  // namespace
