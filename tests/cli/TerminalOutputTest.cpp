// stavel on an operator's terminal: the box's bytes that would drive the terminal are shown
// escaped, the tool's own lines are not, and the progress is redrawn in place.

#include "tests/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"
#include "tests/support/pty/Pty.h"

namespace {

class TerminalOutputTest : public CliTest {};

TEST_F(TerminalOutputTest, ControlBytesFromTheBoxAreEscapedAndProgressIsRedrawnInPlace) {
    const std::string image = MakeImage(1000);
    ScriptedBox box;
    Pty terminal;
    ChildProcess tool(StavelServe(box.SlavePath(), image), {}, terminal.SlaveFd(),
                      terminal.MasterFd());
    terminal.ReleaseSlave();
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stdout();
    const int port = AssignedPort(tool.Stdout(), box.SlavePath());
    ASSERT_NE(port, 0) << tool.Stdout();
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();

    // Clear screen, bell, DEL and a bare escape among plain text, tab and backspace.
    ASSERT_TRUE(box.Send(std::string("\x1b[2J\x07"
                                     "bell\tx\b!\x7f\x1b\r\n") +
                         "\x02\x01\x03"));
    EXPECT_EQ(box.Answer(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    ASSERT_TRUE(box.Send(DataRequest(0, 1000)));
    EXPECT_EQ(box.Answer(1000), m_image);
    ASSERT_TRUE(box.Send(kExitAppRequest));
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stdout();

    const std::string out = tool.Stdout();
    EXPECT_NE(out.find(kBanner + ConnectedLine(port)), std::string::npos) << out;
    EXPECT_NE(out.find("\\x1B[2J\\x07bell\tx\b!\\x7F\\x1B\r\n"), std::string::npos) << out;
    // The only escape sequences left are the progress line's own erase-to-end-of-line.
    EXPECT_EQ(CountOf(out, "\x1b"), CountOf(out, "\x1b[K")) << out;
    EXPECT_NE(out.find("\r( 1000 / 1000 ) Bytes  100%"), std::string::npos) << out;
    EXPECT_NE(out.find(kStopUploading), std::string::npos) << out;
}

}  // namespace
