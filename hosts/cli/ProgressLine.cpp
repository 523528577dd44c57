#include "hosts/cli/ProgressLine.h"

#include <cinttypes>

#include <cstdio>

#include "platform/window/Wnd.h"

ProgressLine::ProgressLine(std::FILE* out, bool inPlace) : m_out(out), m_inPlace(inPlace) {
    Restart();
}

void ProgressLine::Restart() {
    Finish();
    m_rate.Restart();
    m_lastTenth = -1;
}

void ProgressLine::Finish() {
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_lineOpen = false;
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

    if (m_inPlace) {
        std::fprintf(m_out, "\r( %lld / %lld ) Bytes  %3" PRId64 "%%  %.0f B/s\x1b[K", done, size,
                     percent, rate);
        m_lineOpen = true;
    } else {
        const int tenth = static_cast<int>(percent / 10);
        if (tenth == m_lastTenth) {
            return;
        }
        m_lastTenth = tenth;
        std::fprintf(m_out, "( %lld / %lld ) Bytes  %3" PRId64 "%%  %.0f B/s\n", done, size,
                     percent, rate);
    }
    std::fflush(m_out);
}
