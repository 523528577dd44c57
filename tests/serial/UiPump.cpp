#include "tests/serial/UiPump.h"

#include <thread>

UiPump::UiPump() {
    MessageQueue::Ui().Clear();
    SetHost(&m_host);
}

UiPump::~UiPump() {
    SetHost(nullptr);
    MessageQueue::Ui().Clear();
}

void UiPump::Handle(MessageQueue::Item& item) {
    if (auto* task = std::get_if<MessageQueue::Task>(&item)) {
        (*task)();
    } else {
        m_messages.push_back(std::get<MSG>(item));
    }
}

bool UiPump::Until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        if (auto item = MessageQueue::Ui().Take(std::chrono::milliseconds(5))) {
            Handle(*item);
        }
    }
    return true;
}

void UiPump::For(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        if (auto item = MessageQueue::Ui().Take(std::chrono::milliseconds(5))) {
            Handle(*item);
        }
    }
}

bool UiPump::Await(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool UiPump::UntilQueued(std::chrono::milliseconds limit) {
    return Await([] { return MessageQueue::Ui().Size() != 0; }, limit);
}

int UiPump::Count(UINT message) const {
    int n = 0;
    for (const MSG& m : m_messages) {
        n += m.message == message ? 1 : 0;
    }
    return n;
}
