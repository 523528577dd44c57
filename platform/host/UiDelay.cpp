#include "platform/host/UiDelay.h"

#include "platform/host/MessageQueue.h"

UiDelay::~UiDelay() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void UiDelay::After(std::chrono::milliseconds delay, std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        m_due = std::chrono::steady_clock::now() + delay;
        m_task = std::move(task);
    }
    m_changed.notify_one();
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { Wait(); });
    }
}

void UiDelay::Wait() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_due) {
            m_changed.wait(lock);
            continue;
        }
        if (m_changed.wait_until(lock, *m_due) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= *m_due) {
            m_due.reset();
            MessageQueue::Ui().PostTask(std::move(m_task));
            m_task = nullptr;
        }
    }
}
