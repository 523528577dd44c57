#pragma once

// A message box asked for by a thread other than the UI thread ("buff full" from the watch thread).
//
// How it works: the request travels to the UI thread as a task on the UI queue; the host shows
// the box there and the worker waits for the operator's answer. A worker that is being stopped
// must not wait for an operator who may never answer: the UI thread may itself be waiting to join
// that worker. So each worker owns a MessageBoxGate, and Release on it ends the worker's wait at
// once with IDCANCEL. A box already on screen stays until the operator closes it; its answer then
// goes nowhere. A box still queued when the gate is released is never shown.
//
// Threading rules: Show is called by the one worker that owns the gate; Release and Rearm by the
// thread that starts and stops the worker, Rearm only while the worker is not running.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/Win32Types.h"

class MessageBoxGate {
  public:
    // Blocks until the operator answers or the gate is released. Returns IDOK, or IDCANCEL
    // when released (also when the gate was released before the call).
    int Show(const std::string& text, UINT type);
    void Release();
    void Rearm();

  private:
    struct Reply;

    std::mutex m_mutex;
    bool m_released = false;
    std::shared_ptr<Reply> m_pending;
};
