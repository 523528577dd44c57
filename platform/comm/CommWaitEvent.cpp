#include "platform/comm/CommWaitEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/base/Eintr.h"

std::unique_ptr<CommWaitEvent> CommWaitEvent::Create() {
    UniqueFd fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd) {
        return nullptr;
    }
    return std::unique_ptr<CommWaitEvent>(new CommWaitEvent(std::move(fd)));
}

CommWaitEvent::~CommWaitEvent() = default;

void CommWaitEvent::Signal() {
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; EAGAIN would mean it is already signalled anyway.
    static_cast<void>(RetryOnEintr([&] { return ::write(m_fd.Get(), &one, sizeof one); }));
}
