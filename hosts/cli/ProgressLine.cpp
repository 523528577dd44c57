#include "hosts/cli/ProgressLine.h"

#include <cinttypes>

#include <cstdio>
#include <string>

#include "hosts/cli/ConsoleScreen.h"
#include "platform/window/Wnd.h"

ProgressLine::ProgressLine(ConsoleScreen& screen)
    : m_screen(screen), m_inPlace(screen.ProgressInPlace()) {
    Restart();
}

void ProgressLine::Restart() {
    Finish();
    m_rate.Restart();
    m_lastTenth = -1;
}

void ProgressLine::Finish() {
    if (m_inPlace) {
        m_screen.EndProgress();
    }
}

void ProgressLine::OnTextChanged(CWnd& bar) {
    long long done = 0;
    long long size = 0;
    if (std::sscanf(bar.GetWindowText().c_str(), "( %lld / %lld ) Bytes", &done, &size) != 2) {
        return;  // cleared, or not a byte count
    }
    // As the bar: a request past the end of the image shows it full.
    std::int64_t percent = size > 0 ? done * 100 / size : 100;
    percent = percent > 100 ? 100 : percent;
    // Each new count is a request from the box (or its end); a block past the image's end
    // carries no more than the image holds.
    m_rate.OnRequest(size > 0 && done > size ? size : done, TransferRate::Clock::now());
    const double rate = m_rate.BytesPerSecond();

    char figures[128];
    std::snprintf(figures, sizeof figures, "( %lld / %lld ) Bytes  %3" PRId64 "%%  %.0f B/s", done,
                  size, percent, rate);
    if (m_inPlace) {
        m_screen.Progress(figures);
    } else {
        const int tenth = static_cast<int>(percent / 10);
        if (tenth == m_lastTenth) {
            return;
        }
        m_lastTenth = tenth;
        m_screen.Error(std::string(figures) + "\n");
    }
}
