#pragma once

// The desktop host: the system's dialogs as wxWidgets windows.
//
// RunModal makes the dialog's model windows from its template in pixels of the real dialog font,
// builds a wxDialog with one widget per template item (WxDialogWindow), binds each widget to its
// model window before the dialog initialises, and runs the wxDialog modally until the dialog ends.
// The UI queue (posted messages such as WM_COMM_RECEIVED, and tasks) is drained on the UI thread
// whenever something is posted: its notifier wakes the loop through CallOnUiThread, and each item
// goes through the innermost running dialog's RouteItem, as the dialog's own message loop would.
//
// Threading rules: every member runs on the UI thread; other threads only post to the UI queue.

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hosts/wx/WxTimers.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/host/Host.h"
#include "platform/window/DialogTemplate.h"

class MessageWindow;
class WxDialogWindow;
class wxFileDialog;
class wxWindow;

// A widget whose model window paints itself (the progress bar).
class WxPainter {
  public:
    virtual ~WxPainter() = default;
    // A surface for one paint of the model window (Host::BeginPaint), or null when the widget
    // cannot be painted now.
    virtual std::unique_ptr<DeviceContext> BeginPaint() = 0;
};

class WxHost : public Host {
  public:
    // Installs itself as the host and marks the calling thread as the UI thread.
    WxHost();
    ~WxHost() override;
    WxHost(const WxHost&) = delete;
    WxHost& operator=(const WxHost&) = delete;

    // The host in force, or null.
    static WxHost* Current();

    // --- Host ---
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void Beep(DWORD frequencyHz, DWORD durationMs) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    // Asks where to save a file, offering `defaultName`; nothing when cancelled.
    std::optional<std::string> SaveFileDialog(const std::string& defaultName);
    int RunModal(CDialog& dialog) override;
    void SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) override;
    void KillTimer(HWND hwnd, UINT_PTR id) override;
    std::unique_ptr<DeviceContext> BeginPaint(HWND hwnd) override;
    COLORREF GetSysColor(int index) override;

    // --- For the widgets ---
    // Ends the modal run of the innermost dialog once its model has ended. Every widget event
    // that reaches the model calls this afterwards.
    void EndFinishedDialog();
    // EndFinishedDialog on the host in force, if there is one: what the widgets, the dialog
    // window and the timers do after an input has reached the model.
    static void AfterInput();
    // Runs everything waiting in the UI queue.
    void DrainUiQueue();
    void RegisterPainter(HWND hwnd, WxPainter* painter);
    void UnregisterPainter(HWND hwnd);
    // The dialog font's base units, as the templates are converted with.
    DialogBaseUnits BaseUnits() const { return m_units; }

    // The windows of running dialogs, outermost first.
    const std::vector<WxDialogWindow*>& RunningWindows() const { return m_running; }
    // The message box open now (the innermost), or null.
    MessageWindow* OpenMessageBox() const {
        return m_messageBoxes.empty() ? nullptr : m_messageBoxes.back();
    }

  protected:
    // Shows the file dialog modally and answers its end code; the window tests' build answers it
    // as an operator would.
    virtual int ShowFileDialog(wxFileDialog& dialog);

  private:
    wxWindow* InnermostWxWindow() const;

    DialogBaseUnits m_units;
    CFont m_dialogFont;
    WxTimers m_timers;
    std::vector<WxDialogWindow*> m_running;
    std::vector<MessageWindow*> m_messageBoxes;
    std::map<HWND, WxPainter*> m_painters;
    // Set by posting threads, cleared by the drain before it takes anything.
    std::atomic<bool> m_drainScheduled{false};
};
