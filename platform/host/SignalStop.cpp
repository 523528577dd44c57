#include "platform/host/SignalStop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/base/Eintr.h"

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
    return set;
}

}  // namespace

SignalStop::SignalStop(std::function<void(int)> onSignal, std::chrono::milliseconds grace,
                       std::function<void()> beforeForcedExit)
    : m_onSignal(std::move(onSignal)),
      m_grace(grace),
      m_beforeForcedExit(std::move(beforeForcedExit)) {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd.Reset(signalfd(-1, &set, SFD_CLOEXEC));
    m_stopFd.Reset(eventfd(0, EFD_CLOEXEC));
    if (m_signalFd && m_stopFd) {
        m_thread = std::thread([this] { Watch(); });
    } else {
        std::perror("stavel: signalfd");
    }
}

SignalStop::~SignalStop() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_stopFd.Get(), &one, sizeof one);
        m_thread.join();
    }
}

void SignalStop::Watch() {
    int first = 0;
    for (;;) {
        pollfd fds[2] = {{m_signalFd.Get(), POLLIN, 0}, {m_stopFd.Get(), POLLIN, 0}};
        // After the first signal the UI thread has the grace period to finish cleanly.
        const int timeout = first != 0 ? static_cast<int>(m_grace.count()) : -1;
        const int ready = RetryOnEintr([&] { return poll(fds, 2, timeout); });
        if (ready == 0 || (fds[0].revents & POLLIN)) {
            int signo = first;
            if (ready != 0) {
                signalfd_siginfo info{};
                if (read(m_signalFd.Get(), &info, sizeof info) != sizeof info) {
                    continue;
                }
                signo = static_cast<int>(info.ssi_signo);
                if (signo == SIGINT && m_gentleInterrupt.exchange(false)) {
                    signo = SIGUSR1;  // the operator's first Ctrl-C: finish, then end
                }
                if (signo == SIGUSR1) {
                    // A station's word to its slot: finish the box in hand, take no other.
                    // It stops nothing by itself, so it starts no grace period.
                    m_onSignal(signo);
                    continue;
                }
            }
            if (first == 0 && ready != 0) {
                first = signo;
                m_onSignal(signo);
                continue;
            }
            // A second signal, or the grace period is over: nothing more can be done cleanly.
            // No flush: the stuck UI thread may hold the stream's lock. A settings file being
            // saved keeps its old bytes; only its temporary copy is removed.
            if (m_beforeForcedExit) {
                m_beforeForcedExit();
            }
            _exit(StatusFor(first));
        }
        if (fds[1].revents & POLLIN) {
            return;
        }
    }
}
