#pragma once

// Turns SIGINT, SIGTERM and SIGHUP (the terminal closed) into a clean stop. The signals are blocked
// in every thread and read from a signalfd by one watcher thread, so no handler runs at an
// arbitrary point: the watcher hands the signal to the UI thread as a task, where the download is
// stopped as the Stop button would. A second signal, or a UI thread that has not finished within
// the grace period (a write stuck on a line whose peer stopped reading), ends the process at once
// with the same status. SIGUSR1 asks for a gentle end: the box in hand is finished and no other
// is taken; it is handed on like the others but starts no grace period. Where a run serves box
// after box, the operator's first Ctrl-C is taken the same way (TakeFirstInterruptGently).
//
// Threading rules: construct on the main thread before any other thread starts, so that every
// thread inherits the blocked mask. onSignal runs on the watcher thread. An exit at once first
// calls beforeForcedExit there (a settings file's temporary copy is removed, should a save be
// under way); it must not take a lock the stuck thread may hold.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/base/UniqueFd.h"

class SignalStop {
  public:
    SignalStop(std::function<void(int signo)> onSignal, std::chrono::milliseconds grace,
               std::function<void()> beforeForcedExit = {});
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // From now on the first SIGINT asks for a gentle end, as SIGUSR1 does (a station or a --loop
    // run finishes the boxes in flight and takes no new one); a second one stops at once.
    void TakeFirstInterruptGently() { m_gentleInterrupt = true; }

    // The exit status of a process ended by `signo`: 128 + signo (129, 130, 143).
    static int StatusFor(int signo) { return 128 + signo; }

  private:
    void Watch();

    std::function<void(int)> m_onSignal;
    std::chrono::milliseconds m_grace;
    std::function<void()> m_beforeForcedExit;
    std::atomic<bool> m_gentleInterrupt{false};
    UniqueFd m_signalFd;
    UniqueFd m_stopFd;
    std::thread m_thread;
};
