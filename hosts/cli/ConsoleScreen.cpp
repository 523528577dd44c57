#include "hosts/cli/ConsoleScreen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/host/ConsoleOutput.h"

namespace {

bool SameTerminal(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && S_ISCHR(sa.st_mode) &&
           sa.st_rdev == sb.st_rdev;
}

bool TerminalTakesEscapes() {
    const char* term = std::getenv("TERM");
    return term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

}  // namespace

ConsoleScreen::ConsoleScreen()
    : m_stdoutTty(isatty(STDOUT_FILENO) != 0),
      m_stderrTty(isatty(STDERR_FILENO) != 0),
      m_sameTerminal(m_stdoutTty && m_stderrTty && SameTerminal(STDOUT_FILENO, STDERR_FILENO)),
      m_ansi(TerminalTakesEscapes()) {}

void ConsoleScreen::Log(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (SharesTerminal()) {
        Erase();
    }
    WriteStdout(text);
    m_logAtLineStart = text.back() == '\n';
}

void ConsoleScreen::Error(std::string_view text) {
    Erase();
    WriteStderr(text);
}

void ConsoleScreen::Progress(const std::string& figures) {
    m_figures = figures;
    m_drawn = false;
    if (!SharesTerminal() || m_logAtLineStart) {
        Draw();
    }
}

void ConsoleScreen::EndProgress() {
    if (m_drawn) {
        WriteStderr("\n");
    } else if (!m_figures.empty() && m_logAtLineStart) {
        // The last figures were never drawn (erased by log text): show them once, as a line.
        WriteStderr(m_figures + "\n");
    }
    m_figures.clear();
    m_drawn = false;
    m_drawnWidth = 0;
}

void ConsoleScreen::Idle() {
    if (!m_figures.empty() && !m_drawn && (!SharesTerminal() || m_logAtLineStart)) {
        Draw();
    }
    ConsoleOutput::Process().Publish();
}

void ConsoleScreen::Erase() {
    if (!m_drawn) {
        return;
    }
    if (m_ansi) {
        WriteStderr("\r\x1b[K");
    } else {
        WriteStderr("\r" + std::string(m_drawnWidth, ' ') + "\r");
    }
    m_drawn = false;
    m_drawnWidth = 0;
}

void ConsoleScreen::Draw() {
    if (m_ansi) {
        WriteStderr("\r" + m_figures + "\x1b[K");
    } else {
        // Spaces cover what a longer line drawn before left on the screen.
        const std::size_t pad =
            m_drawnWidth > m_figures.size() ? m_drawnWidth - m_figures.size() : 0;
        WriteStderr("\r" + m_figures + std::string(pad, ' '));
    }
    m_drawn = true;
    m_drawnWidth = m_figures.size();
}
