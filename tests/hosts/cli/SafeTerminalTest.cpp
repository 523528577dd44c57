// stavel on an operator's terminal, attacked through what it shows: C0 and C1 controls from the
// box (C1 raw, and in its UTF-8 form) and a line break in the image's name must not reach the
// terminal as such; the progress line and the box's text must not run into each other; a dumb
// terminal gets no escape codes at all.

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"
#include "tests/support/pty/Pty.h"

namespace {

class SafeTerminalTest : public CliTest {
  protected:
    // Serves a 2000-byte image in two halves on a terminal, the box printing `console` after
    // the first half (once its progress is on the screen); answers everything on the terminal.
    std::string ServeOnTerminal(const std::string& image, const std::string& console,
                                const std::vector<std::string>& environment) {
        ScriptedBox box;
        Pty terminal;
        ChildProcess tool(StavelServe(box.SlavePath(), image), environment, terminal.SlaveFd(),
                          terminal.MasterFd());
        terminal.ReleaseSlave();
        EXPECT_TRUE(tool.WaitForStdout(kPleaseConnect)) << tool.Stdout();
        EXPECT_TRUE(box.Send(kStartRequest));
        EXPECT_EQ(box.Answer(4).size(), 4u);
        EXPECT_TRUE(box.Send(DataRequest(0, 1000)));
        EXPECT_EQ(box.Answer(1000), Bytes(m_image.begin(), m_image.begin() + 1000));
        EXPECT_TRUE(tool.WaitForStdout("( 1000 / 2000 ) Bytes")) << tool.Stdout();
        EXPECT_TRUE(box.Send(console));
        EXPECT_TRUE(box.WaitTaken());
        EXPECT_TRUE(box.Send(DataRequest(1000, 1000)));
        EXPECT_EQ(box.Answer(1000), Bytes(m_image.begin() + 1000, m_image.end()));
        EXPECT_TRUE(box.Send(kExitAppRequest));
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(end.exited && end.status == 0) << tool.Stdout();
        return tool.Stdout();
    }
};

TEST_F(SafeTerminalTest, ControlsAreShownEscapedAndTheProgressNeverRunsIntoText) {
    // A name that would forge a log line, and would set the title of a terminal that read it.
    const std::string image = MakeImage(2000,
                                        "box\nFilename = 'forged'\xC2\x9D"
                                        "0;t\x07.sdl");
    // Clear screen, bell, DEL and a bare escape among plain text, tab and backspace; then CSI
    // clear-screen in its UTF-8 form and raw, OSC set-title ended by ST, real text around.
    const std::string console =
        "\x1b[2J\x07"
        "bell\tx\b!\x7f\x1b\r\n"
        "\xC2\x9B"
        "2J\x9B"
        "H\xC2\x9D"
        "0;owned\xC2\x9C caf\xC3\xA9\r\n";
    const std::string out = ServeOnTerminal(image, console, {"LC_ALL=C.UTF-8", "TERM=xterm"});

    EXPECT_NE(out.find("Filename = '" + m_dir.Path() +
                       "/box\\x0AFilename = 'forged'\\xC2\\x9D0;t\\x07.sdl', Size = 2000 bytes"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("\nFilename = 'forged'"), std::string::npos) << out;
    // The progress is drawn, erased before the box's text, and drawn again below it.
    const std::string half = "( 1000 / 2000 ) Bytes   50%";
    const auto drawn = out.find("\r" + half);
    ASSERT_NE(drawn, std::string::npos) << out;
    const std::string shown =
        "\\x1B[2J\\x07bell\tx\b!\\x7F\\x1B\r\n"
        "\\xC2\\x9B2J\\x9BH\\xC2\\x9D0;owned\\xC2\\x9C caf\xC3\xA9\r\n";
    EXPECT_NE(out.find("\r\x1b[K" + shown, drawn), std::string::npos) << out;
    EXPECT_NE(out.find(shown + "\r" + half, drawn), std::string::npos) << out;
    EXPECT_NE(out.find("\r( 2000 / 2000 ) Bytes  100%"), std::string::npos) << out;
    // The only escape sequences left are the progress line's own erase-to-end-of-line.
    EXPECT_EQ(CountOf(out, "\x1b"), CountOf(out, "\x1b[K")) << out;
    EXPECT_EQ(out.find("\xC2\x9B"), std::string::npos);
    EXPECT_EQ(out.find("\xC2\x9D"), std::string::npos);
    // The figures never run into text: each drawing ends with its erase-to-end-of-line, or
    // (the last figures, once the log has moved on) with a line break.
    for (auto at = out.find("B/s"); at != std::string::npos; at = out.find("B/s", at + 1)) {
        const std::string after = out.substr(at + 3, 3);
        EXPECT_TRUE(after == "\x1b[K" || after.front() == '\n') << at << ": " << out;
    }

    // A dumb terminal gets no escape code at all, and still the figures.
    const std::string dumb = ServeOnTerminal(MakeImage(2000), "OK\r\n", {"TERM=dumb"});
    EXPECT_EQ(dumb.find('\x1b'), std::string::npos) << dumb;
    EXPECT_NE(dumb.find("\r( 1000 / 2000 ) Bytes   50%"), std::string::npos) << dumb;
}

}  // namespace
