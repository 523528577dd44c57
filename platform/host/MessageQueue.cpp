#include "platform/host/MessageQueue.h"

#include <utility>

MessageQueue& MessageQueue::Ui() {
    static MessageQueue queue;
    return queue;
}

void MessageQueue::Post(const MSG& msg) {
    Push(msg);
}

void MessageQueue::PostTask(Task task) {
    Push(std::move(task));
}

void MessageQueue::Push(Item item) {
    std::function<void()> notifier;
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(item));
        notifier = m_notifier;
    }
    m_arrived.notify_one();
    // Outside the lock: the notifier may call back into the queue.
    if (notifier) {
        notifier();
    }
}

std::optional<MessageQueue::Item> MessageQueue::TryTake() {
    std::lock_guard lock(m_mutex);
    if (m_items.empty()) {
        return std::nullopt;
    }
    Item item = std::move(m_items.front());
    m_items.pop_front();
    return item;
}

std::optional<MessageQueue::Item> MessageQueue::Take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_arrived.wait_for(lock, timeout, [this] { return !m_items.empty(); })) {
        return std::nullopt;
    }
    Item item = std::move(m_items.front());
    m_items.pop_front();
    return item;
}

std::size_t MessageQueue::Size() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

void MessageQueue::Clear() {
    std::lock_guard lock(m_mutex);
    m_items.clear();
}

void MessageQueue::SetNotifier(std::function<void()> notifier) {
    std::lock_guard lock(m_mutex);
    m_notifier = std::move(notifier);
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageQueue::Ui().Post(MSG{hwnd, message, wParam, lParam});
    return 1;
}
