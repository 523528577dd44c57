// The window layer's threads and lifetimes: posts from other threads, nested and ready-made
// modal loops, and messages for windows that have gone. What the operator's input does to a
// dialog, and controls taken over by the dialog's members, are checked on the real one in
// tests/app.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/window/Dialog.h"
#include "platform/window/OperatorInput.h"
#include "platform/window/RichEditCtrl.h"
#include "platform/window/TimerTable.h"
#include "tests/support/testhost/TestHost.h"

namespace {

constexpr UINT kTemplateId = 9100;
constexpr int kLog = 1001;
constexpr UINT kUserMessage = WM_USER + 1;

void RegisterTestTemplate() {
    DialogTemplate t;
    t.id = kTemplateId;
    t.caption = "Test dialog";
    t.cx = 319;
    t.cy = 291;
    t.fontFace = "MS Sans Serif";
    t.pointSize = 8;
    t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    t.items = {
        {IDOK, ControlKind::Button, "EXIT", 0, 262, 262, 50, 22, child | BS_DEFPUSHBUTTON, 0},
        {kLog, ControlKind::RichEdit, "", 0, 7, 79, 305, 179, child | ES_MULTILINE | ES_READONLY,
         0},
    };
    RegisterDialogTemplate(t);
}

// Records what reaches its handlers.
class TestDialog : public CDialog {
  public:
    TestDialog() : CDialog(kTemplateId) {}
    CRichEditCtrl m_log;
    std::vector<std::string> events;

  protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry kEntries[] = {MapMessage<&TestDialog::OnUser>(kUserMessage)};
        static const MessageMap kMap{CDialog::ThisMessageMap(), kEntries};
        return &kMap;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kLog, m_log); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        events.push_back("init");
        return 1;
    }
    LRESULT OnUser(WPARAM wParam, LPARAM lParam) {
        events.push_back("user " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 42;
    }
};

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { RegisterTestTemplate(); }
    TestHost host;
};

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

// Ends itself on its third timer tick; a worker posts to it while it starts.
class TickingDialog : public TestDialog {
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
        std::thread([hwnd = m_hWnd] { ::PostMessage(hwnd, kUserMessage, 5, 6); }).join();
        return 1;
    }
    void OnTimer(UINT_PTR id) {
        if (id == 5 && ++ticks == 3) {
            EndDialog(IDOK);
        }
    }
};

TEST(DialogModalLoopTest, ReadyMadeLoopRunsPostsAndTimersUntilTheDialogEnds) {
    RegisterTestTemplate();
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
