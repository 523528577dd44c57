// The window layer's lifetimes: messages posted to windows that have gone are dropped. Posts
// from other threads reaching a dialog's handlers, nested modal runs, what the operator's input
// does and controls taken over by the dialog's members are checked on the real dialog in
// tests/app (the watch thread's posts, the About box); the ready-made loop (RunModalLoop, with
// its timers) is the one every command-line run goes through.

#include <gtest/gtest.h>

#include "platform/window/Dialog.h"
#include "platform/window/RichEditCtrl.h"
#include "tests/support/testhost/TestHost.h"

namespace {

constexpr UINT kTemplateId = 9100;
constexpr int kLog = 1001;
constexpr UINT kUserMessage = WM_USER + 1;

// A dialog whose member takes over a child control, with a handler that would touch the dialog
// if a message reached it after it had gone.
class TestDialog : public CDialog {
  public:
    TestDialog() : CDialog(kTemplateId) {}
    CRichEditCtrl m_log;
    int users = 0;

  protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry kEntries[] = {MapMessage<&TestDialog::OnUser>(kUserMessage)};
        static const MessageMap kMap{CDialog::ThisMessageMap(), kEntries};
        return &kMap;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kLog, m_log); }
    LRESULT OnUser(WPARAM, LPARAM) { return ++users; }
};

TEST(DialogTest, MessagesForWindowsThatHaveGoneAreDropped) {
    DialogTemplate t;
    t.id = kTemplateId;
    t.cx = 319;
    t.cy = 291;
    t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION;
    t.items = {{kLog, ControlKind::RichEdit, "", 0, 7, 79, 305, 179, WS_CHILD | WS_VISIBLE, 0}};
    RegisterDialogTemplate(t);
    TestHost host;
    HWND gone;
    {
        TestDialog dialog;
        ASSERT_TRUE(host.Start(dialog));
        gone = dialog.m_log.m_hWnd;
        PostMessage(dialog.m_hWnd, kUserMessage, 3, 4);
    }
    PostMessage(gone, EM_REPLACESEL, 0, 0);
    EXPECT_EQ(CWnd::FromHandle(gone), nullptr);
    EXPECT_EQ(host.Pump(), 2);  // both taken, neither reaches freed memory (ASan would tell)
}

}  // namespace
