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

// How long the loop may sleep: until the next timer, else until something is posted. Everything
// that ends the dialog runs as an item or a timer of this loop, so nothing else needs waking for.
std::chrono::milliseconds WaitBudget(const TimerTable* timers) {
    constexpr std::chrono::milliseconds kIdle = std::chrono::hours(1);
    const auto next = timers != nullptr ? timers->NextDue() : std::nullopt;
    if (!next) {
        return kIdle;
    }
    return std::clamp(*next - Now(), std::chrono::milliseconds{0}, kIdle);
}

}  // namespace

int CDialog::RunModalLoop(DialogBaseUnits units, TimerTable* timers, const ModalLoopHooks& hooks) {
    if (!Create(units)) {
        return -1;
    }
    if (hooks.created) {
        hooks.created(*this);
    }
    Initialize();
    MessageQueue& queue = MessageQueue::Ui();
    while (!HasEnded()) {
        if (timers != nullptr) {
            timers->FireDue(Now());
            // A timer that ended the dialog may have been its last: do not sleep on.
            if (HasEnded()) {
                break;
            }
        }
        auto item = queue.TryTake();
        if (!item) {
            if (hooks.idle) {
                hooks.idle();
            }
            item = queue.Take(WaitBudget(timers));
        }
        if (item) {
            RouteItem(*item);
        }
    }
    const int code = EndCode();
    DestroyWindow();
    return code;
}
