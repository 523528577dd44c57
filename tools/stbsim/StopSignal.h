#pragma once

#include <atomic>

#include "platform/base/UniqueFd.h"

// A request to stop that any thread, and a signal handler, may raise, and that a poll() can
// wait on together with the line.
//
// Threading: Raise() may be called from any thread or signal handler (it only stores an atomic
// and writes an eventfd); Raised() and Fd() from any thread. The object must outlive them.
class StopSignal {
  public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    // Lowers it again, for a signal that is raised more than once (a box's power cut). Not for
    // a signal handler.
    void Clear();
    bool Raised() const { return m_bRaised.load(std::memory_order_acquire); }
    int Fd() const { return m_hEvent.Get(); }

  private:
    std::atomic<bool> m_bRaised{false};
    UniqueFd m_hEvent;
};
