#pragma once

// A modal dialog made from a registered template (DialogTemplate.h).
//
// DoModal hands the dialog to the host (Host::RunModal). A host runs it with the building blocks
// below: Create makes the dialog's window and its controls from the template, Initialize binds
// the members (DoDataExchange) and runs OnInitDialog, RouteMessage passes one queued message
// through PreTranslateMessage and on to its window, and HasEnded / EndCode tell when to stop.
// RunModalLoop is a ready-made loop over the UI queue for hosts without a loop of their own.
//
// Threading rules: UI thread only, like every window.

#include <functional>
#include <memory>
#include <vector>

#include "platform/window/DataExchange.h"
#include "platform/window/DialogTemplate.h"
#include "platform/window/Menu.h"
#include "platform/window/Wnd.h"

class CFont;
class TimerTable;
class CDialog;

// What a host without a loop of its own may add to the ready-made modal loop.
struct ModalLoopHooks {
    // After the controls exist and before the dialog is initialised, so that views can follow
    // the controls from the first change.
    std::function<void(CDialog&)> created;
    // Whenever the UI queue has run dry, before the loop sleeps.
    std::function<void()> idle;
};

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx);
    // TRUE when the message is swallowed: it is then neither translated nor dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    int DoModal();

    // The window menu, or null when the template has no WS_SYSMENU. `revert` TRUE puts the
    // standard items back and answers null.
    CMenu* GetSystemMenu(BOOL revert);
    // Returns the icon this slot had before.
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;

    // --- Building blocks for hosts ---
    UINT TemplateId() const { return m_templateId; }
    const DialogTemplate* Template() const;
    // Makes the window and its controls from the template; placements in pixels from `units`.
    // The template's font is made and given to the dialog and every control (WM_SETFONT), as
    // the dialog manager does. False when the template is missing or the window exists.
    bool Create(DialogBaseUnits units = {});
    // Binds the members, then OnInitDialog; the dialog runs (not ended) afterwards.
    BOOL Initialize();
    // PreTranslateMessage, then, unless swallowed, the dialog's keyboard handling (Escape,
    // Enter) for keys, or the message's window for anything else.
    void RouteMessage(const MSG& msg);
    // Runs one item taken from the UI queue: a task, or a message through RouteMessage.
    void RouteItem(MessageQueue::Item& item);
    bool HasEnded() const { return m_ended; }
    int EndCode() const { return m_endCode; }
    // Create, Initialize, then the UI queue and `timers` (if any) until the dialog ends; the
    // window then goes, as after DoModal. Answers the end code, or -1 when it cannot be made.
    int RunModalLoop(DialogBaseUnits units = {}, TimerTable* timers = nullptr,
                     const ModalLoopHooks& hooks = {});
    // The id of the default push button (BS_DEFPUSHBUTTON), or IDOK when there is none.
    int DefaultButtonId() const;

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void HandleDialogKey(const MSG& msg);
    void ResetSystemMenu();
    void MakeTemplateFont(const DialogTemplate& dialogTemplate);

    UINT m_templateId;
    HWND m_parentHwnd{};
    std::unique_ptr<CFont> m_font;  // before the controls: they point at it until they go
    std::vector<std::unique_ptr<CWnd>> m_templateControls;
    CMenu m_systemMenu;
    bool m_hasSystemMenu = false;
    bool m_ended = false;
    int m_endCode = 0;
};
