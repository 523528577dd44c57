#include "hosts/cli/ConsoleSlotScreen.h"

#include "platform/window/Wnd.h"

void ConsoleSlotScreen::Open(std::function<void(CDialog&)> created,
                             std::function<std::uint64_t()> droppedBytes) {
    m_host = std::make_unique<ConsoleHost>();
    m_host->SetScreen(&m_screen);
    m_host->SetDialogCreated(std::move(created));
    m_host->SetIdle([this] { m_screen.Idle(); });
    m_host->SetDroppedBytes(std::move(droppedBytes));
}

void ConsoleSlotScreen::FollowLog(CWnd& log) {
    m_log = std::make_unique<ConsoleLog>(m_screen);
    log.AddObserver(m_log.get());
    if (!m_quiet) {
        m_progress = std::make_unique<ProgressLine>(m_screen);
    }
}

void ConsoleSlotScreen::ProgressStarted() {
    if (m_progress) {
        m_progress->Restart();
    }
}

void ConsoleSlotScreen::Progress(const ProgressFigures& figures) {
    if (m_progress) {
        m_progress->Show(figures);
    }
}

void ConsoleSlotScreen::ProgressEnded() {
    if (m_progress) {
        m_progress->Finish();
    }
}

void ConsoleSlotScreen::Close() {
    if (m_log) {
        m_log->Finish();
    }
    ProgressEnded();
    m_host.reset();
}
