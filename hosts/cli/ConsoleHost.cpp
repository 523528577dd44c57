#include "hosts/cli/ConsoleHost.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

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
    if (!dialog.Create()) {
        return -1;
    }
    if (m_onCreated) {
        m_onCreated(dialog);
    }
    dialog.Initialize();
    // Sleeps until a message, a task or the next timer: nothing wakes the loop while the line
    // is quiet. Everything that ends the dialog runs as an item of this loop.
    constexpr std::chrono::milliseconds kIdle = std::chrono::hours(1);
    MessageQueue& queue = MessageQueue::Ui();
    while (!dialog.HasEnded()) {
        m_timers.FireDue(Now());
        std::chrono::milliseconds wait = kIdle;
        if (const auto due = m_timers.NextDue()) {
            wait = std::clamp(*due - Now(), std::chrono::milliseconds{0}, kIdle);
        }
        auto item = queue.TryTake();
        if (!item) {
            if (m_onIdle) {
                m_onIdle();
            }
            item = queue.Take(wait);
        }
        if (item) {
            dialog.RouteItem(*item);
        }
    }
    return dialog.EndCode();
}

void ConsoleHost::SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) {
    m_timers.Set(hwnd, id, periodMs, Now());
}

void ConsoleHost::KillTimer(HWND hwnd, UINT_PTR id) {
    m_timers.Kill(hwnd, id);
}

// Nothing is painted: the progress is followed through the bar's text instead.
void ConsoleHost::RedrawWindow(HWND) {}

CDC* ConsoleHost::BeginPaint(HWND) {
    return nullptr;
}

void ConsoleHost::EndPaint(HWND) {}

COLORREF ConsoleHost::GetSysColor(int index) {
    return ClassicSysColor(index);
}
