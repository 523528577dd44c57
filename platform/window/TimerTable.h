#pragma once

// The timers of a host: which window gets WM_TIMER with which id, and when. Time is whatever
// clock the host counts in milliseconds: a real monotonic clock for a running program, a manual
// one that a test advances.
//
// Threading rules: UI thread only.

#include <chrono>
#include <optional>
#include <vector>

#include "platform/base/Win32Types.h"

class TimerTable {
  public:
    using Time = std::chrono::milliseconds;

    // Starts or restarts timer `id` of `hwnd`: first due one period after `now`.
    void Set(HWND hwnd, UINT_PTR id, UINT periodMs, Time now);
    void Kill(HWND hwnd, UINT_PTR id);
    bool IsSet(HWND hwnd, UINT_PTR id) const;
    // Sends WM_TIMER for every timer due at `now`, at most once per timer per call even when
    // several periods have passed (Windows coalesces missed ticks the same way), and schedules
    // its next tick. Timers of windows that have gone are dropped. Answers how many fired.
    int FireDue(Time now);
    // When the next timer is due, or nothing when none is set.
    std::optional<Time> NextDue() const;

  private:
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        Time period;
        Time due;
    };

    std::vector<Timer> m_timers;
};
