#include "platform/comm/CommWaitEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

std::unique_ptr<CommWaitEvent> CommWaitEvent::Create() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<CommWaitEvent>(new CommWaitEvent(fd));
}

CommWaitEvent::~CommWaitEvent() {
    ::close(m_fd);
}

void CommWaitEvent::Signal() {
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; EAGAIN would mean it is already signalled anyway.
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool CommWaitEvent::IsSignalled() const {
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}
