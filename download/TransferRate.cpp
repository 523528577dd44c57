#include "download/TransferRate.h"

void TransferRate::OnRequest(std::int64_t end, Clock::time_point when) {
    if (!m_started) {
        m_started = true;
        m_first = when;
    } else {
        m_received = m_latestEnd;
    }
    m_latest = when;
    m_latestEnd = end;
}

double TransferRate::BytesPerSecond() const {
    const double seconds = std::chrono::duration<double>(m_latest - m_first).count();
    return seconds > 0 ? static_cast<double>(m_received) / seconds : 0.0;
}
