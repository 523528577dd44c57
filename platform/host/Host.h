#pragma once

// What only a user-interface toolkit can give the system: the modal loop, message boxes, the
// file-open dialog, timers, a surface to paint a window on and the beep. The wx host and the
// command-line host each implement this interface and install themselves at start-up with SetHost.
//
// Threading rules: every member of Host is called on the UI thread only. AfxMessageBox may be
// called from any thread (see WorkerMessageBox.h for the worker side).

#include <memory>
#include <optional>
#include <string>

#include "platform/base/Win32Types.h"

class CDialog;
class DeviceContext;

struct FileDialogRequest {
    bool openFileDialog = true;  // always true in this system
    std::string defaultExt;      // added to a typed name that has none
    std::string fileName;        // initial name
    DWORD flags = 0;             // OFN_* bits as the caller gave them
    std::string filter;          // "text|pattern|text|pattern|...|" as the caller wrote it
};

class Host {
  public:
    virtual ~Host() = default;

    // A modal box with an OK button; returns the button pressed (IDOK).
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
    virtual void Beep(DWORD frequencyHz, DWORD durationMs) = 0;
    // The full path the operator chose, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    // Runs `dialog` modally: makes its window, initialises it, dispatches the UI queue until the
    // dialog ends, and returns its end code (IDOK or IDCANCEL).
    virtual int RunModal(CDialog& dialog) = 0;
    // Timer `id` of window `hwnd` posts WM_TIMER with wParam `id` every `periodMs` ms.
    virtual void SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) = 0;
    virtual void KillTimer(HWND hwnd, UINT_PTR id) = 0;
    // The surface one paint of `hwnd` draws into, made for that paint alone and fresh (nothing a
    // previous paint selected carries over). The paint ends when it is destroyed: what was drawn
    // is on the screen then, even while the UI thread is busy. Null when the window cannot be
    // painted now (no screen, or the window not shown). Only CPaintDC calls this.
    virtual std::unique_ptr<DeviceContext> BeginPaint(HWND hwnd) = 0;
    // A system colour by its COLOR_* index (Win32Types.h).
    virtual COLORREF GetSysColor(int index) = 0;
};

// The classic desktop colour scheme by COLOR_* index, for hosts without a toolkit of their own.
COLORREF ClassicSysColor(int index);

// The host in force. Before a host installs itself (and after it leaves) a console fallback
// answers: message boxes go to standard error, the rest does nothing.
void SetHost(Host* host);
Host& CurrentHost();

// The thread that runs the dialog. The host marks it once before it starts the dialog.
void MarkUiThread();
bool IsUiThread();

// The caption of every message box: the program file's name without its extension.
void SetApplicationName(std::string name);
const std::string& ApplicationName();

// A modal message box with the application's name as caption. On the UI thread it is the host's
// box; on any other thread the request is handed to the UI thread and the caller waits for the
// answer (WorkerMessageBox.h explains how that wait is released when the caller is stopped).
int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpId = 0);
