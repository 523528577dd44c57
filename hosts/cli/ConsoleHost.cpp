#include "hosts/cli/ConsoleHost.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "platform/gdi/DeviceContext.h"
#include "platform/window/Dialog.h"

namespace {

TimerTable::Time Now() {
    return std::chrono::duration_cast<TimerTable::Time>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace

ConsoleHost::ConsoleHost() {
    MarkUiThread();
    SetHost(this);
}

ConsoleHost::~ConsoleHost() {
    SetHost(nullptr);
}

int ConsoleHost::MessageBox(const std::string& text, const std::string& caption, UINT) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

void ConsoleHost::Beep(DWORD, DWORD) {
    // A terminal has one bell; a redirected error stream gets nothing it would have to show.
    if (isatty(STDERR_FILENO)) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

std::optional<std::string> ConsoleHost::OpenFileDialog(const FileDialogRequest&) {
    return std::nullopt;
}

int ConsoleHost::RunModal(CDialog& dialog) {
    return dialog.RunModalLoop({}, &m_timers, ModalLoopHooks{m_onCreated, m_onIdle});
}

void ConsoleHost::SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) {
    m_timers.Set(hwnd, id, periodMs, Now());
}

void ConsoleHost::KillTimer(HWND hwnd, UINT_PTR id) {
    m_timers.Kill(hwnd, id);
}

// Nothing is painted: the progress is followed through the bar's text instead.
std::unique_ptr<DeviceContext> ConsoleHost::BeginPaint(HWND) {
    return nullptr;
}

COLORREF ConsoleHost::GetSysColor(int index) {
    return ClassicSysColor(index);
}
