#include "hosts/cli/ConsoleLog.h"

#include "hosts/cli/ConsoleScreen.h"

ConsoleLog::ConsoleLog(ConsoleScreen& screen)
    : m_screen(screen), m_escape(screen.LogOnTerminal()), m_shown(KeptControls::LayoutOnly) {}

void ConsoleLog::OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (m_escape) {
        m_screen.Log(m_shown.Feed(text));
    } else {
        m_screen.Log(text);
    }
}

void ConsoleLog::Finish() {
    m_screen.Log(m_shown.Flush());
}
