#include "hosts/cli/ProgressLine.h"

#include <cinttypes>

ProgressLine::ProgressLine(std::FILE* out, bool inPlace, std::function<Sample()> read)
    : m_out(out), m_inPlace(inPlace), m_read(std::move(read)) {
    Restart();
}

void ProgressLine::Restart() {
    Finish();
    m_start = std::chrono::steady_clock::now();
    m_lastTenth = -1;
}

void ProgressLine::Finish() {
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_lineOpen = false;
    }
}

void ProgressLine::OnTextChanged(CWnd&) {
    const Sample s = m_read();
    if (s.offset == 0 && s.size == 0) {
        return;  // the bar was cleared, nothing to show
    }
    const std::int64_t percent = s.size > 0 ? s.offset * 100 / s.size : 100;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double rate = seconds > 0 ? static_cast<double>(s.offset) / seconds : 0.0;
    if (m_inPlace) {
        std::fprintf(m_out, "\r( %" PRId64 " / %" PRId64 " ) Bytes  %3" PRId64 "%%  %.0f B/s\x1b[K",
                     s.offset, s.size, percent, rate);
        m_lineOpen = true;
    } else {
        const int tenth = static_cast<int>(percent / 10);
        if (tenth == m_lastTenth) {
            return;
        }
        m_lastTenth = tenth;
        std::fprintf(m_out, "( %" PRId64 " / %" PRId64 " ) Bytes  %3" PRId64 "%%  %.0f B/s\n",
                     s.offset, s.size, percent, rate);
    }
    std::fflush(m_out);
}
