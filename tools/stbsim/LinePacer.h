#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The schedule of a UART at a given byte rate, in both directions, as the box's side of the line
// sees it. Pure arithmetic: StbLine asks it when bytes may go out and when bytes may be taken
// in, and sleeps accordingly. A rate of 0 means unpaced: everything is due at once.
class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(uint32_t bytesPerSecond = 0, bool paceReceive = true)
        : m_nRate(bytesPerSecond), m_bPaceReceive(paceReceive) {}

    bool Paced() const { return m_nRate != 0; }
    bool PacesReceive() const { return Paced() && m_bPaceReceive; }
    Clock::duration ByteTime(size_t count) const;

    // Books count bytes for sending from now on and returns when their last one has left the
    // line; the bytes are handed to the peer at that moment, never earlier.
    Clock::time_point ReserveTransmit(size_t count, Clock::time_point now);

    // The peer's bytes cannot arrive before this moment (its first byte was seen, or the
    // request it answers was only complete then).
    void NoteArrival(Clock::time_point seen);
    // When count more bytes will have arrived.
    Clock::time_point ReceiveDue(size_t count) const;
    void Received(size_t count);

    // Bytes to take per read while paced: about 5 ms of line time, so sleeping stays cheap.
    size_t ReceiveSlice() const;

  private:
    uint32_t m_nRate;
    bool m_bPaceReceive;
    Clock::time_point m_txFreeAt{};
    Clock::time_point m_rxFreeAt{};
};
