#include "tools/stbsim/LinePacer.h"

#include <algorithm>

LinePacer::Clock::duration LinePacer::ByteTime(size_t count) const {
    if (m_nRate == 0) {
        return Clock::duration::zero();
    }
    const auto nanos = static_cast<int64_t>(count) * 1000000000LL / m_nRate;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanos));
}

LinePacer::Clock::time_point LinePacer::ReserveTransmit(size_t count, Clock::time_point now) {
    m_txFreeAt = std::max(m_txFreeAt, now) + ByteTime(count);
    return m_txFreeAt;
}

void LinePacer::NoteArrival(Clock::time_point seen) {
    m_rxFreeAt = std::max(m_rxFreeAt, seen);
}

LinePacer::Clock::time_point LinePacer::ReceiveDue(size_t count) const {
    return m_rxFreeAt + ByteTime(count);
}

void LinePacer::Received(size_t count) {
    m_rxFreeAt += ByteTime(count);
}

size_t LinePacer::ReceiveSlice() const {
    return !PacesReceive() ? SIZE_MAX : std::max<size_t>(1, m_nRate / 200);
}
