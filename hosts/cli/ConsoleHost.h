#pragma once

// The host of the command-line tool: no window, no painting. Message boxes go to standard error
// with the program's name as caption and are answered at once; the beep is the terminal's bell;
// the modal loop is the UI queue's with real timers. There is no file dialog: the image comes
// from the command line.
//
// Threading rules: UI thread only, like every host.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/host/Host.h"
#include "platform/window/TimerTable.h"

class ConsoleScreen;

class ConsoleHost final : public Host {
  public:
    ConsoleHost();
    ~ConsoleHost() override;

    // Called with each dialog after its controls exist and before it is initialised, so that
    // views can follow the controls from the first line the dialog logs.
    void SetDialogCreated(std::function<void(CDialog&)> hook) { m_onCreated = std::move(hook); }
    // Called whenever the UI queue has run dry, before the loop sleeps.
    void SetIdle(std::function<void()> hook) { m_onIdle = std::move(hook); }
    // Where message boxes and the bell go (standard error, past the progress line).
    void SetScreen(ConsoleScreen* screen) { m_screen = screen; }
    // Where the bytes dropped at "buff full" are counted: a console says it at most once a
    // second, with how many bytes were lost since it last said so, rather than a line per read.
    void SetDroppedBytes(std::function<std::uint64_t()> count) {
        m_droppedBytes = std::move(count);
    }

    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void Beep(DWORD frequencyHz, DWORD durationMs) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    int RunModal(CDialog& dialog) override;
    void SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) override;
    void KillTimer(HWND hwnd, UINT_PTR id) override;
    std::unique_ptr<DeviceContext> BeginPaint(HWND hwnd) override;
    COLORREF GetSysColor(int index) override;

  private:
    TimerTable m_timers;
    std::function<void(CDialog&)> m_onCreated;
    std::function<void()> m_onIdle;
    ConsoleScreen* m_screen = nullptr;
    std::function<std::uint64_t()> m_droppedBytes;
    std::uint64_t m_droppedSaid = 0;
    std::chrono::steady_clock::time_point m_buffFullSaid{};
};

// A message box's text as lines on standard error, each led by the caption.
std::string MessageLines(const std::string& text, const std::string& caption);
