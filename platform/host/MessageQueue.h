#pragma once

// The user-interface thread's queue: posted window messages and tasks to run on that thread.
//
// Threading rules: any thread may post; only the UI thread takes. Posting never blocks on the
// taker and never waits for the item to be handled. The notifier, set by the host before other
// threads start, runs on the posting thread after each post, so that a host with its own event
// loop (wx) can wake that loop; the console host simply blocks in Take.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/base/Win32Types.h"

struct MSG {
    HWND hwnd{};
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class MessageQueue {
  public:
    using Task = std::function<void()>;
    using Item = std::variant<MSG, Task>;

    // The process's one UI queue.
    static MessageQueue& Ui();

    void Post(const MSG& msg);
    void PostTask(Task task);

    // Takes the oldest item, or nothing when the queue is empty.
    std::optional<Item> TryTake();
    // Waits up to `timeout` for an item.
    std::optional<Item> Take(std::chrono::milliseconds timeout);

    std::size_t Size() const;
    // Drops every waiting item (tests and shutdown).
    void Clear();

    void SetNotifier(std::function<void()> notifier);

  private:
    void Push(Item item);

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Item> m_items;
    std::function<void()> m_notifier;
};

// Queues a message for `hwnd` on the UI thread's queue and returns at once.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
