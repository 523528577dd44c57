#include "hosts/cli/ProgressLine.h"

#include <cstdio>
#include <string>

#include "hosts/cli/ConsoleScreen.h"

ProgressLine::ProgressLine(ConsoleScreen& screen)
    : m_screen(screen), m_inPlace(screen.ProgressInPlace()) {
    Restart();
}

void ProgressLine::Restart() {
    Finish();
    m_lastTenth = -1;
}

void ProgressLine::Finish() {
    if (m_inPlace) {
        m_screen.EndProgress();
    }
}

void ProgressLine::Show(const ProgressFigures& f) {
    char figures[128];
    std::snprintf(figures, sizeof figures, "( %lld / %lld ) Bytes  %3d%%  %.0f B/s",
                  static_cast<long long>(f.done), static_cast<long long>(f.size), f.percent,
                  f.rate);
    if (m_inPlace) {
        m_screen.Progress(figures);
        return;
    }
    const int tenth = f.percent / 10;
    if (tenth == m_lastTenth) {
        return;
    }
    m_lastTenth = tenth;
    m_screen.Error(std::string(figures) + "\n");
}
