// The ready-made modal loop for hosts that have no event loop of their own.

#include <algorithm>
#include <chrono>

#include "platform/window/Dialog.h"
#include "platform/window/TimerTable.h"

namespace {

TimerTable::Time Now() {
    return std::chrono::duration_cast<TimerTable::Time>(
        std::chrono::steady_clock::now().time_since_epoch());
}

// How long the loop may sleep: until the next timer, but at most a while, so that an ended
// dialog is noticed even when nothing arrives.
std::chrono::milliseconds WaitBudget(const TimerTable* timers) {
    constexpr std::chrono::milliseconds kLongest{50};
    if (timers == nullptr) {
        return kLongest;
    }
    const auto next = timers->NextDue();
    if (!next) {
        return kLongest;
    }
    return std::clamp(*next - Now(), std::chrono::milliseconds{0}, kLongest);
}

}  // namespace

int CDialog::RunModalLoop(DialogBaseUnits units, TimerTable* timers) {
    if (!Create(units)) {
        return -1;
    }
    Initialize();
    MessageQueue& queue = MessageQueue::Ui();
    while (!HasEnded()) {
        if (timers != nullptr) {
            timers->FireDue(Now());
        }
        if (auto item = queue.Take(WaitBudget(timers))) {
            RouteItem(*item);
        }
    }
    const int code = EndCode();
    DestroyWindow();
    return code;
}
