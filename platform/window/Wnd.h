#pragma once

// Principles of operation of platform/window.
//
// What it emulates: the desktop window model the system's code is written against. A window is
// a small state object (CWnd) with a handle in a process-wide registry; it answers messages,
// first through its class's message map (MessageMap.h), else with the standard answer of its
// kind (DefWindowProc, WndDefault.cpp): a check box keeps its check, a combo box its list, an
// edit its text and selection. Dialogs are made from templates (DialogTemplate.h), exchange data
// with their members (DataExchange.h) and route keys the way the dialog manager does.
//
// What it does not: there is no screen, no native window, no input and no window manager here.
// A host (platform/host/Host.h: the wx window, the command line, the tests' host) shows the
// windows by observing them (WindowObserver.h), turns the operator's input into the messages
// Windows would produce (OperatorInput.h), runs the modal loop and the timers, and gives a
// surface to paint on. There are no invalid regions and no deferred WM_PAINT, no non-client
// area, no hooks, no window classes, and exactly one UI thread.
//
// How a message travels:
//   sent      CWnd::SendMessage -> WindowProc -> map entry or DefWindowProc -> the state
//             changes -> observers are told -> the host's widget shows it. Synchronous.
//   posted    ::PostMessage(hwnd, ...) from any thread -> MessageQueue::Ui() -> the host drains
//             it on the UI thread -> the running dialog's RouteItem (PreTranslateMessage, keys)
//             -> DispatchMessage looks the handle up (a window that has gone: dropped) -> sent.
//   input     a widget's event -> OperatorInput (ClickButton, ...) -> WM_COMMAND to the parent
//             -> sent; afterwards the host ends the dialog if the input ended it.
//   timer     CWnd::SetTimer -> Host::SetTimer -> WM_TIMER posted each period.
//   paint     CWnd::RedrawWindow -> WM_PAINT sent to the window itself -> its handler's
//             CPaintDC asks Host::BeginPaint for a fresh surface and draws; destroying the
//             surface puts the drawing on the screen. A paint the toolkit asks for (exposure)
//             enters at WM_PAINT.
//
// Threading rules: a window is made, used and destroyed on the UI thread only. Other threads
// reach it solely through PostMessage with its handle (MessageQueue.h).

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/base/Win32Types.h"
#include "platform/host/MessageQueue.h"
#include "platform/window/ControlKind.h"
#include "platform/window/MessageMap.h"
#include "platform/window/WindowMessages.h"
#include "platform/window/WindowObserver.h"
#include "platform/window/WindowPlacement.h"
#include "platform/window/WindowState.h"

struct RECT;
class CFont;
class CRgn;

// What it takes to make a window (the pixel form of one template item).
struct CreateParams {
    ControlKind kind = ControlKind::Static;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    WindowPlacement placement;
    int id = 0;
    HICON icon = kNoIcon;
};

class CWnd {
  public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The window's handle, or kNoWindow before Create / after DestroyWindow.
    HWND m_hWnd = kNoWindow;

    // The live window behind a handle, or null when it has gone (or never was).
    static CWnd* FromHandle(HWND hwnd);
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Makes the window: registers a new handle and joins the parent's children.
    BOOL Create(const CreateParams& params, CWnd* parent);
    // Observers are told OnDestroyed; children are destroyed first.
    void DestroyWindow();
    // Takes over the window `hwnd` (state, handle, observers, place): from now on this object's
    // WindowProc handles its messages. The object that had it is left without a window.
    BOOL SubclassWindow(HWND hwnd);

    // Message handling.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // The standard handling of the message being handled now.
    LRESULT Default();
    // The standard answer of the window's kind.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual const MessageMap* GetMessageMap() const;
    static const MessageMap* ThisMessageMap();
    // Handlers that end in the standard handling, for a derived handler to fall back on.
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnPaint() { Default(); }

    // State.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void GetWindowText(std::string& text) const { text = GetWindowText(); }
    // Returns whether the window was disabled before.
    BOOL EnableWindow(BOOL enable = 1);
    BOOL IsWindowEnabled() const;
    // Returns whether the window was visible before.
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    DWORD GetStyle() const;
    // Returns whether the style changed. `flags` (SWP_*) are accepted and not needed.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    void GetClientRect(RECT* rect) const;
    WindowPlacement GetPlacement() const;
    // Gives the window a new place in its parent (a host whose window was resized).
    void MoveWindow(const WindowPlacement& placement);
    CWnd* GetParent() const;
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    ControlKind GetKind() const;
    // The window's font (WM_GETFONT), or null when it has none of its own.
    CFont* GetFont() const;
    void SetFont(CFont* font, BOOL redraw = 1);
    // Child handles in tab order.
    const std::vector<HWND>& GetChildren() const;

    // Host services for this window.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, void* callback = nullptr);
    BOOL KillTimer(UINT_PTR id);
    BOOL RedrawWindow(const RECT* update = nullptr, CRgn* region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    void AddObserver(WindowObserver* observer);
    void RemoveObserver(WindowObserver* observer);

  protected:
    // Calls `notify` on every observer; safe against observers that remove themselves.
    template <class Notify>
    void NotifyObservers(Notify notify);

    WindowState& State() { return m_state; }
    const WindowState& State() const { return m_state; }

  private:
    LRESULT DefaultText(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultButton(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultCombo(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultEdit(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultIcon(UINT message, WPARAM wParam, LPARAM lParam);
    void ReplaceSelection(std::string_view text);
    void SetSelection(LPARAM start, LPARAM end);
    void SetCheckState(int check);
    void SetComboSelection(int index);

    WindowState m_state;
    // The message WindowProc is handling now, for Default().
    MSG m_current{};
};

template <class Notify>
void CWnd::NotifyObservers(Notify notify) {
    // By index: an observer may remove itself while it is told.
    for (std::size_t i = 0; i < m_state.observers.size(); ++i) {
        WindowObserver* observer = m_state.observers[i];
        notify(*observer);
        if (i < m_state.observers.size() && m_state.observers[i] != observer) {
            --i;
        }
    }
}

// Delivers a message taken from the UI queue to its window; a dead handle drops it.
LRESULT DispatchMessage(const MSG& msg);
