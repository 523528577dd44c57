// `stavel --demo`: the tool against its own simulated box, ending with the box's verdict.

#include "tests/hosts/cli/CliFixture.h"

namespace {

class DemoTest : public CliTest {};

TEST_F(DemoTest, UnpacedDemoEndsWithTheBoxsVerdictOk) {
    for (const bool ownImage : {false, true}) {
        SCOPED_TRACE(ownImage ? "--image given" : "generated image");
        std::vector<std::string> args{ProgramPath("stavel"), "--demo", "--fast"};
        if (ownImage) {
            args.push_back("--image");
            args.push_back(MakeImage(50000));
        }
        ChildProcess tool(args);
        const ChildProcess::End end = tool.Wait();
        ASSERT_TRUE(end.exited) << "signal " << end.signal;
        EXPECT_EQ(end.status, 0) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find("stavel: box verdict: OK"), std::string::npos)
            << tool.Stderr();
        const std::string out = tool.Stdout();
        EXPECT_EQ(out.rfind(kBanner, 0), 0u) << out;
        EXPECT_NE(out.find(ownImage ? "Size = 50000 bytes\r\n" : "Size = 196608 bytes\r\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.substr(out.size() - kStopUploading.size()), kStopUploading) << out;
    }
}

}  // namespace
