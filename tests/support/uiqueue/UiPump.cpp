#include "tests/support/uiqueue/UiPump.h"

#include <algorithm>
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

bool PumpUiQueue(const std::function<void(MessageQueue::Item&)>& run,
                 const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds{0}) {
            return done();
        }
        if (auto item = MessageQueue::Ui().Take(std::min(left, std::chrono::milliseconds{5}))) {
            run(*item);
        }
    }
    return true;
}

bool UiPump::Until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return PumpUiQueue([this](MessageQueue::Item& item) { Handle(item); }, done, limit);
}

void UiPump::For(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    PumpUiQueue([this](MessageQueue::Item& item) { Handle(item); },
                [end] { return std::chrono::steady_clock::now() >= end; }, span);
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
