#include "tools/stbsim/StopSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

StopSignal::StopSignal() : m_hEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() = default;

void StopSignal::Raise() {
    m_bRaised.store(true, std::memory_order_release);
    const uint64_t one = 1;
    // The counter only grows; a full counter (EAGAIN) still wakes every poll.
    [[maybe_unused]] ssize_t n = write(m_hEvent.Get(), &one, sizeof one);
}

void StopSignal::Clear() {
    // The flag first: a Raise() that comes between the two still leaves the flag up.
    m_bRaised.store(false, std::memory_order_release);
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(m_hEvent.Get(), &count, sizeof count);
}
