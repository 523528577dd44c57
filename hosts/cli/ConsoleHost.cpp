#include "hosts/cli/ConsoleHost.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "hosts/cli/ConsoleScreen.h"
#include "platform/gdi/DeviceContext.h"
#include "platform/host/ConsoleOutput.h"
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

std::string MessageLines(const std::string& text, const std::string& caption) {
    std::string lines;
    std::size_t start = 0;
    do {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines += caption + ": " + text.substr(start, end - start) + "\n";
        start = end + 1;
    } while (start < text.size());
    return lines;
}

int ConsoleHost::MessageBox(const std::string& text, const std::string& caption, UINT) {
    std::string lines;
    if (text == "buff full" && m_droppedBytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_buffFullSaid < std::chrono::seconds(1)) {
            return IDOK;  // counted; said with the next line
        }
        m_buffFullSaid = now;
        const std::uint64_t dropped = m_droppedBytes();
        lines = MessageLines(
            "buff full: " + std::to_string(dropped - m_droppedSaid) + " bytes dropped", caption);
        m_droppedSaid = dropped;
    } else {
        lines = MessageLines(text, caption);
    }
    if (m_screen != nullptr) {
        m_screen->Error(lines);
    } else {
        WriteStderr(lines);
    }
    return IDOK;
}

void ConsoleHost::Beep(DWORD, DWORD) {
    // A terminal has one bell; a redirected error stream gets nothing it would have to show.
    if (isatty(STDERR_FILENO)) {
        WriteStderr("\a");
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
