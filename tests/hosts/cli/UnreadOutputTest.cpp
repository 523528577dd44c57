// Nobody reads what stavel writes (a full pipe, `| less` left alone, Ctrl-S): the box must be
// served to its end all the same, and the text comes out whole once someone reads again.

#include <signal.h>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class UnreadOutputTest : public CliTest {};

TEST_F(UnreadOutputTest, TheBoxIsServedToTheEndWhileStandardOutputOrErrorIsNeverRead) {
    const std::uint64_t size = 300000;
    const std::string image = MakeImage(size);
    for (const int stream : {1, 2}) {
        SCOPED_TRACE(stream == 1 ? "standard output unread" : "standard error unread");
        StbSimOptions options = FastBox(m_image, 512);
        options.consoleNoise = true;
        options.boxes = 2;
        BoxRunner box(std::move(options));
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        // --debug: a log line or two per block, far more than a pipe holds.
        ChildProcess tool(StavelServe(box.SlavePath(), image, {"--debug", "--loop"}),
                          ChildProcess::Unread{stream});
        box.Start();
        // A box waits 3 s for each answer: one tool thread stuck on the output fails it.
        const StbVerdict verdict = box.Join();
        EXPECT_TRUE(verdict.ok) << verdict.message;
        EXPECT_EQ(box.Stats().boxesDone, 2);
        EXPECT_EQ(box.Stats().imageBytes, 2 * size);

        // Stop the loop, then read. (Standard output, though read, waited behind the unread
        // standard error: one writer keeps the two in order, as a shared terminal needs.)
        tool.Signal(SIGTERM);
        const std::string held = tool.ReadHeldToEnd();
        const ChildProcess::End end = tool.Wait();
        ASSERT_TRUE(end.exited) << "signal " << end.signal;
        EXPECT_EQ(end.status, 143);
        const std::string out = stream == 1 ? held : tool.Stdout();
        const std::string err = stream == 2 ? held : tool.Stderr();
        // Nothing was lost: the whole log, and every message.
        EXPECT_EQ(CountOf(out, "EXIT_APP from STB\r\n" + kStopUploading), 2);
        EXPECT_EQ(CountOf(out, "Offset=0x"), 2 * static_cast<int>((size + 511) / 512));
        EXPECT_TRUE(out.ends_with(kStopUploading)) << out.substr(out.size() - 200);
        EXPECT_EQ(err.find("dropped"), std::string::npos) << err;
        EXPECT_NE(err.find("stavel: 2 box(es) finished\n"), std::string::npos) << err;
    }
}

}  // namespace
