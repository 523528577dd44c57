#include "platform/host/WorkerMessageBox.h"

#include <optional>

#include "platform/host/Host.h"
#include "platform/host/MessageQueue.h"

// Shared by the waiting worker and the UI task, so either may outlive the other.
struct MessageBoxGate::Reply {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<int> answer;
    bool cancelled = false;
};

int MessageBoxGate::Show(const std::string& text, UINT type) {
    auto reply = std::make_shared<Reply>();
    {
        std::lock_guard lock(m_mutex);
        if (m_released) {
            return IDCANCEL;
        }
        m_pending = reply;
    }
    MessageQueue::Ui().PostTask([reply, text, type] {
        {
            std::lock_guard lock(reply->mutex);
            if (reply->cancelled) {
                return;
            }
        }
        const int result = CurrentHost().MessageBox(text, ApplicationName(), type);
        {
            std::lock_guard lock(reply->mutex);
            reply->answer = result;
        }
        reply->answered.notify_all();
    });

    std::unique_lock lock(reply->mutex);
    reply->answered.wait(lock, [&] { return reply->answer.has_value() || reply->cancelled; });
    const int result = reply->answer.value_or(IDCANCEL);
    lock.unlock();

    std::lock_guard gateLock(m_mutex);
    if (m_pending == reply) {
        m_pending.reset();
    }
    return result;
}

void MessageBoxGate::Release() {
    std::shared_ptr<Reply> pending;
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        pending = m_pending;
    }
    if (pending) {
        {
            std::lock_guard lock(pending->mutex);
            pending->cancelled = true;
        }
        pending->answered.notify_all();
    }
}

void MessageBoxGate::Rearm() {
    std::lock_guard lock(m_mutex);
    m_released = false;
}
