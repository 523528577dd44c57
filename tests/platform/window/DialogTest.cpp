#include <thread>

#include <gtest/gtest.h>

#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/GdiTypes.h"
#include "platform/window/OperatorInput.h"
#include "platform/window/TimerTable.h"
#include "tests/platform/window/WindowTestDialog.h"
#include "tests/support/testhost/ControlMessages.h"
#include "tests/support/testhost/TestHost.h"

using namespace window_test;

namespace {

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { RegisterTestTemplate(); }
    TestHost host;
};

TEST_F(DialogTest, TemplateMakesControlsInPixelsAndMembersTakeThemOver) {
    TestDialog dialog;
    ASSERT_TRUE(host.Start(dialog));
    EXPECT_EQ(dialog.GetWindowText(), "Test dialog");
    EXPECT_EQ(dialog.GetChildren().size(), 6u);
    // MS Sans Serif 8 base units: x * 6 / 4, y * 13 / 8, each edge on its own.
    const WindowPlacement exit = dialog.GetDlgItem(IDOK)->GetPlacement();
    EXPECT_EQ(exit, (WindowPlacement{393, 425, 75, 36}));
    // Bound members answer for their ids, keep the template's state and get the messages.
    EXPECT_EQ(dialog.GetDlgItem(kLog), &dialog.m_log);
    EXPECT_EQ(dialog.GetDlgItem(kStart), &dialog.m_btnStart);
    EXPECT_EQ(dialog.m_btnStart.GetWindowText(), "START");
    EXPECT_EQ(CWnd::FromHandle(dialog.m_log.m_hWnd), &dialog.m_log);
    EXPECT_EQ(dialog.m_log.GetParent(), &dialog);
    EXPECT_EQ(ComboCount(dialog.m_combo), 3);
    EXPECT_EQ(ComboText(dialog.m_combo, 2), "COM3");
    EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
    // Every control gets the dialog's font, 8 points at 96 dots per inch.
    CFont* font = dialog.m_log.GetFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font, dialog.GetFont());
    LOGFONT logFont{};
    ASSERT_GT(font->GetLogFont(&logFont), 0);
    EXPECT_EQ(logFont.lfHeight, -11);
    EXPECT_STREQ(logFont.lfFaceName, "MS Sans Serif");
    // The icon control shows the template's icon only when the application registered it.
    RegisterIcon(131, IconImage{1, 1, {RGB(0, 255, 0)}});
    TestDialog again;
    ASSERT_TRUE(host.Start(again));
    EXPECT_EQ(static_cast<int>(again.GetDlgItem(kIcon)->SendMessage(STM_GETICON)), 131);
}

TEST_F(DialogTest, OperatorInputArrivesAsTheMessagesWindowsSends) {
    TestDialog dialog;
    ASSERT_TRUE(host.Start(dialog));
    EXPECT_TRUE(ClickButton(dialog.m_btnStart));
    EXPECT_TRUE(ClickButton(dialog.m_chkDebug));
    EXPECT_EQ(dialog.m_chkDebug.GetCheck(), BST_CHECKED);
    ClickButton(dialog.m_chkDebug);
    EXPECT_EQ(dialog.m_chkDebug.GetCheck(), BST_UNCHECKED);
    EXPECT_TRUE(ChooseComboEntry(dialog.m_combo, 2));
    EXPECT_FALSE(ChooseComboEntry(dialog.m_combo, 3));
    dialog.m_btnStart.EnableWindow(0);
    EXPECT_FALSE(ClickButton(dialog.m_btnStart));
    EXPECT_EQ(dialog.SendMessage(kUserMessage, 7, 9), 42);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "start", "port 2", "user 7 9"}));
    EXPECT_FALSE(dialog.HasEnded());
}

TEST_F(DialogTest, KeysCloseBoxAndExitEndTheDialogAsWindowsDoes) {
    {
        TestDialog dialog;
        host.Start(dialog);
        dialog.swallowEscape = true;
        PressKey(dialog, VK_ESCAPE, &dialog.m_btnStart);
        EXPECT_FALSE(dialog.HasEnded());
        dialog.swallowEscape = false;
        PressKey(dialog, VK_ESCAPE);
        EXPECT_TRUE(dialog.HasEnded());
        EXPECT_EQ(dialog.EndCode(), IDCANCEL);
    }
    {
        // Enter presses the default button (EXIT), not the button that has the focus.
        TestDialog dialog;
        host.Start(dialog);
        PressKey(dialog, VK_RETURN, &dialog.m_btnStart);
        EXPECT_EQ(dialog.EndCode(), IDOK);
        EXPECT_EQ(dialog.events, std::vector<std::string>{"init"});
    }
    {
        // The close box goes through the window menu's handler, which hands it on.
        TestDialog dialog;
        host.Start(dialog);
        PressCloseBox(dialog);
        EXPECT_TRUE(dialog.HasEnded());
        EXPECT_EQ(dialog.EndCode(), IDCANCEL);
        EXPECT_EQ(dialog.events.back(), "syscommand " + std::to_string(SC_CLOSE));
    }
}

TEST_F(DialogTest, SystemMenuTakesAppendedItemsAndSendsTheirIds) {
    TestDialog dialog;
    host.Start(dialog);
    CMenu* menu = dialog.GetSystemMenu(0);
    ASSERT_NE(menu, nullptr);
    menu->AppendMenu(MF_SEPARATOR);
    menu->AppendMenu(MF_STRING, 0x0010, "&About...");
    ChooseSystemMenuItem(dialog, 0x0010);
    EXPECT_EQ(dialog.events.back(), "syscommand 16");
    EXPECT_FALSE(dialog.HasEnded());
    EXPECT_EQ(dialog.GetSystemMenu(1), nullptr);
    EXPECT_EQ(dialog.GetSystemMenu(0)->Items().back().id, SC_CLOSE);
}

TEST_F(DialogTest, ModalRunDeliversPostsFromOtherThreadsAndNestedDialogs) {
    TestDialog dialog;
    int drives = 0;
    host.SetModalDriver([&](CDialog& running) {
        ++drives;
        if (&running != &dialog) {
            running.EndDialog(IDOK);  // the nested dialog
            return true;
        }
        if (drives == 1) {
            // A worker posts to the dialog by handle; the message arrives on this thread.
            std::thread worker([hwnd = dialog.m_hWnd] { PostMessage(hwnd, kUserMessage, 1, 2); });
            worker.join();
            TestDialog nested;
            EXPECT_EQ(nested.DoModal(), IDOK);
            return true;
        }
        ClickButton(*dialog.GetDlgItem(IDOK));
        return true;
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "user 1 2"}));
    EXPECT_EQ(dialog.m_hWnd, kNoWindow);
    // Without a driver the run cannot hang: it ends as if cancelled.
    host.SetModalDriver(nullptr);
    TestDialog idle;
    EXPECT_EQ(idle.DoModal(), IDCANCEL);
}

TEST_F(DialogTest, MessagesForWindowsThatHaveGoneAreDropped) {
    HWND gone;
    {
        TestDialog dialog;
        host.Start(dialog);
        gone = dialog.m_log.m_hWnd;
        PostMessage(dialog.m_hWnd, kUserMessage, 3, 4);
    }
    PostMessage(gone, EM_REPLACESEL, 0, 0);
    EXPECT_EQ(CWnd::FromHandle(gone), nullptr);
    EXPECT_EQ(host.Pump(), 2);  // both taken, neither reaches freed memory (ASan would tell)
}

}  // namespace

namespace {

// Ends itself on its third timer tick; a worker posts to it while it starts.
class TickingDialog : public window_test::TestDialog {
  public:
    TimerTable* timers = nullptr;
    int ticks = 0;

  protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry kEntries[] = {MapTimer<&TickingDialog::OnTimer>()};
        static const MessageMap kMap{TestDialog::GetMessageMap(), kEntries};
        return &kMap;
    }
    BOOL OnInitDialog() override {
        TestDialog::OnInitDialog();
        const auto now = std::chrono::duration_cast<TimerTable::Time>(
            std::chrono::steady_clock::now().time_since_epoch());
        timers->Set(m_hWnd, 5, 10, now);
        std::thread([hwnd = m_hWnd] {
            ::PostMessage(hwnd, window_test::kUserMessage, 5, 6);
        }).join();
        return 1;
    }
    void OnTimer(UINT_PTR id) {
        if (id == 5 && ++ticks == 3) {
            EndDialog(IDOK);
        }
    }
};

TEST(DialogModalLoopTest, ReadyMadeLoopRunsPostsAndTimersUntilTheDialogEnds) {
    window_test::RegisterTestTemplate();
    MessageQueue::Ui().Clear();
    TickingDialog dialog;
    TimerTable timers;
    dialog.timers = &timers;
    EXPECT_EQ(dialog.RunModalLoop({}, &timers), IDOK);
    EXPECT_EQ(dialog.ticks, 3);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "user 5 6"}));
    EXPECT_EQ(dialog.m_hWnd, kNoWindow);
    EXPECT_EQ(MessageQueue::Ui().Size(), 0u);
}

}  // namespace
