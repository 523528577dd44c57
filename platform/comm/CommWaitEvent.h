#pragma once

// A one-way "stop waiting" signal for a port's waits: an eventfd that poll watches beside the tty.
// Once signalled it stays signalled, so every later wait on it returns at once; a link makes a
// fresh pair at each open, which is why nothing ever resets one.
//
// Threading rules: Signal may be called from any thread at any time while the
// object lives; the object is destroyed only after every thread that waits on it has stopped.

#include <memory>

#include "platform/base/UniqueFd.h"

class CommWaitEvent {
  public:
    // Null when the system has no descriptor to spare.
    static std::unique_ptr<CommWaitEvent> Create();
    ~CommWaitEvent();
    CommWaitEvent(const CommWaitEvent&) = delete;
    CommWaitEvent& operator=(const CommWaitEvent&) = delete;

    void Signal();
    // For poll(POLLIN): readable once signalled.
    int Fd() const { return m_fd.Get(); }

  private:
    explicit CommWaitEvent(UniqueFd fd) : m_fd(std::move(fd)) {}
    const UniqueFd m_fd;
};
