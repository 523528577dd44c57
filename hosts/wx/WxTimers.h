#pragma once

// The windows' timers as wxTimers: timer `id` of window `hwnd` sends WM_TIMER to the window every
// period; a timer whose window has gone stops itself.
//
// Threading rules: UI thread only.

#include <map>
#include <memory>
#include <utility>

#include "platform/base/Win32Types.h"

class wxTimer;

class WxTimers {
  public:
    WxTimers();
    ~WxTimers();
    void Set(HWND hwnd, UINT_PTR id, UINT periodMs);
    void Kill(HWND hwnd, UINT_PTR id);
    void KillAll();

  private:
    std::map<std::pair<HWND, UINT_PTR>, std::unique_ptr<wxTimer>> m_timers;
};
