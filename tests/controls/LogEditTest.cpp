#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/LogEdit.h"
#include "tests/support/testhost/TestHost.h"

namespace {

class Follower : public WindowObserver {
  public:
    std::string shown;  // what a view built from insertions alone would show
    int scrolls = 0;
    void OnTextInserted(CWnd&, std::size_t at, std::size_t replaced,
                        std::string_view text) override {
        shown.replace(at, replaced, text);
    }
    void OnScrolledToBottom(CWnd&) override { ++scrolls; }
};

class LogEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateParams p;
        p.kind = ControlKind::RichEdit;
        p.id = 1001;
        p.style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY;
        log.Create(p, nullptr);
        log.AddObserver(&follower);
    }
    TestHost host;
    CLogEdit log;
    Follower follower;
};

// What an operator sees: every append lands at the end, even when text in the middle was
// selected (to copy it), and the view follows it to the bottom.
TEST_F(LogEditTest, EachAppendLandsAtTheEndWhateverIsSelectedAndScrolls) {
    log.AppendText("Connected\r\n");
    log.SendMessage(EM_SETSEL, 2, 5);
    log.AppendText("Size = 3\r\n");
    EXPECT_EQ(log.Text(), "Connected\r\nSize = 3\r\n");
    EXPECT_EQ(follower.shown, log.Text());
    EXPECT_EQ(follower.scrolls, 2);
    // An empty text adds nothing but still scrolls.
    log.AppendText("");
    log.AppendText(nullptr);
    EXPECT_EQ(log.Text(), "Connected\r\nSize = 3\r\n");
    EXPECT_EQ(follower.scrolls, 4);
}

TEST_F(LogEditTest, ConsoleBytesOneByOneContinueTheLastLineAndLongTextsArriveWhole) {
    log.AppendText("***** Start *****\r\n");
    for (char c : std::string("abc")) {
        log.AppendFormat("%c", c);
    }
    // "%c" with NUL formats an empty text: nothing is added.
    log.AppendFormat("%c", 0);
    EXPECT_EQ(log.Text(), "***** Start *****\r\nabc");
    const std::string path(4990, 'p');
    log.AppendFormat("SDL Filename = %s\r\n", path.c_str());
    EXPECT_EQ(log.Text(), "***** Start *****\r\nabcSDL Filename = " + path + "\r\n");
    EXPECT_EQ(follower.shown, log.Text());
}

TEST_F(LogEditTest, ALongLogKeepsItsLastWholeLinesWithinTheBound) {
    // Numbered lines of uneven length, so a cut in the middle of one would show.
    auto line = [](int n) {
        return "line " + std::to_string(n) + " " +
               std::string(static_cast<std::size_t>(n % 97), '.') + "\r\n";
    };
    std::size_t largest = 0;
    int n = 0;
    for (std::size_t total = 0; total < 3 * CLogEdit::kMaxBytes; ++n) {
        const std::string text = line(n);
        total += text.size();
        log.AppendText(text.c_str());
        largest = std::max(largest, log.GetTextLength());
    }
    EXPECT_LE(largest, CLogEdit::kMaxBytes);
    const std::string& kept = log.Text();
    EXPECT_GE(kept.size(), CLogEdit::kKeptBytes / 2);
    EXPECT_EQ(kept.rfind("line ", 0), 0u) << kept.substr(0, 40);
    EXPECT_TRUE(kept.ends_with(line(n - 1)));
    // The newest lines are all there, in order.
    const int first = std::stoi(kept.substr(5));
    std::string expected;
    for (int i = first; i < n; ++i) {
        expected += line(i);
    }
    EXPECT_EQ(kept, expected);
    // A view that only follows insertions shows the same text, the cuts included.
    EXPECT_EQ(follower.shown, kept);
    // The next append still goes to the end.
    log.AppendText("last\r\n");
    EXPECT_TRUE(log.Text().ends_with(line(n - 1) + "last\r\n"));
}

}  // namespace
