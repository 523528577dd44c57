// The log file as the box's echo reaches it: a byte at a time, gathered into turns. Every byte
// arrives in its order, and with timestamps each line gets one stamp at its start, however the
// line is split between turns; a line that never ends gets one stamp and all of its bytes.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/host/ConsoleOutput.h"
#include "platform/window/Wnd.h"
#include "slot/LogFile.h"
#include "tests/support/files/TempDir.h"

namespace {

// Echoes `text` a byte at a time, as the protocol does, in turns of `turn` bytes (the UI thread
// falling idle after each).
void Echo(LogFile& file, const std::string& text, std::size_t turn) {
    CWnd log;
    for (std::size_t i = 0; i < text.size(); ++i) {
        file.OnTextInserted(log, 0, 0, std::string_view(&text[i], 1));
        if ((i + 1) % turn == 0) {
            ConsoleOutput::Process().Publish();
        }
    }
}

// "2026-12-07T02:31:07.120Z " at `at`.
bool StampAt(const std::string& text, std::size_t at) {
    const std::string form = "dddd-dd-ddTdd:dd:dd.dddZ ";
    if (text.size() < at + form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        const char c = text[at + i];
        if (form[i] == 'd' ? std::isdigit(static_cast<unsigned char>(c)) == 0 : c != form[i]) {
            return false;
        }
    }
    return true;
}

TEST(LogFileTest, EveryByteInOrderAndOneStampPerLineAcrossTurns) {
    TempDir dir;
    const std::string endless(1024 * 1024 + 7, 'x');
    const std::string start = "first line\r\nsecond, split by turns\r\n";
    const std::string rest = endless + "\r\nlast";
    const std::string text = start + rest;
    {
        auto opened = LogFile::Open(dir.File("box.log"), LogFile::Stamps::Utc);
        ASSERT_TRUE(opened) << opened.Failure().Describe();
        Echo(**opened, start, 5);  // turns that end inside lines and inside "\r\n"
        Echo(**opened, rest, 4099);
        ASSERT_TRUE((*opened)->Flush());
    }
    const std::string written = ReadBytes(dir.File("box.log"));
    std::string unstamped;
    std::size_t lines = 0;
    std::size_t at = 0;
    while (at < written.size()) {
        // Each line starts with its stamp, and holds no other.
        ASSERT_TRUE(StampAt(written, at)) << "line " << lines;
        const std::size_t end = std::min(written.find('\n', at), written.size() - 1) + 1;
        unstamped += written.substr(at + 25, end - at - 25);
        at = end;
        ++lines;
    }
    EXPECT_EQ(lines, 4u);
    EXPECT_TRUE(unstamped == text) << "the bytes or their order changed";
}

}  // namespace
