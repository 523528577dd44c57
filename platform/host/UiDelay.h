#pragma once

// Runs a task on the UI thread after a delay, for the command line's retries: the host's loop
// sleeps until a post, so a thread of its own waits out the delay and posts the task.
//
// Threading rules: After and the destructor on the UI thread; the task runs there too. The
// destructor cancels a task not yet posted and joins the thread.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class UiDelay {
  public:
    UiDelay() = default;
    ~UiDelay();
    UiDelay(const UiDelay&) = delete;
    UiDelay& operator=(const UiDelay&) = delete;

    // Posts `task` to the UI queue once `delay` has passed; replaces a task still waiting.
    void After(std::chrono::milliseconds delay, std::function<void()> task);

  private:
    void Wait();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<std::chrono::steady_clock::time_point> m_due;
    std::function<void()> m_task;
    bool m_stop = false;
    std::thread m_thread;
};
