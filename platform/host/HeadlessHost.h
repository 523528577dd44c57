#pragma once

// A host without a screen: message boxes go to standard error and are answered OK at once,
// there is no file dialog, nothing is painted, and timers and beeps do nothing. It answers while
// no real host is installed, and test doubles derive from it to override only what they watch.

#include "platform/host/Host.h"

class HeadlessHost : public Host {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void Beep(DWORD, DWORD) override {}
    std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override {
        return std::nullopt;
    }
    int RunModal(CDialog&) override { return IDCANCEL; }
    void SetTimer(HWND, UINT_PTR, UINT) override {}
    void KillTimer(HWND, UINT_PTR) override {}
    std::unique_ptr<DeviceContext> BeginPaint(HWND) override;
    COLORREF GetSysColor(int index) override { return ClassicSysColor(index); }
};
