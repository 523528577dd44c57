#include "platform/window/TimerTable.h"

#include <algorithm>

#include "platform/window/WindowMessages.h"
#include "platform/window/Wnd.h"

void TimerTable::Set(HWND hwnd, UINT_PTR id, UINT periodMs, Time now) {
    // A zero period would fire on every pass and starve the queue; Windows raises it likewise.
    const Time period{std::max<UINT>(periodMs, 10)};
    for (Timer& timer : m_timers) {
        if (timer.hwnd == hwnd && timer.id == id) {
            timer.period = period;
            timer.due = now + period;
            return;
        }
    }
    m_timers.push_back(Timer{hwnd, id, period, now + period});
}

void TimerTable::Kill(HWND hwnd, UINT_PTR id) {
    std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
}

bool TimerTable::IsSet(HWND hwnd, UINT_PTR id) const {
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
}

int TimerTable::FireDue(Time now) {
    std::erase_if(m_timers, [](const Timer& t) { return CWnd::FromHandle(t.hwnd) == nullptr; });
    // Collect first: a WM_TIMER handler may set or kill timers while we deliver.
    std::vector<Timer> due;
    for (Timer& timer : m_timers) {
        if (timer.due <= now) {
            due.push_back(timer);
            while (timer.due <= now) {
                timer.due += timer.period;
            }
        }
    }
    int fired = 0;
    for (const Timer& timer : due) {
        // Only if still set: an earlier handler in this pass may have killed it.
        if (IsSet(timer.hwnd, timer.id)) {
            DispatchMessage(MSG{timer.hwnd, WM_TIMER, timer.id, 0});
            ++fired;
        }
    }
    return fired;
}

std::optional<TimerTable::Time> TimerTable::NextDue() const {
    std::optional<Time> next;
    for (const Timer& timer : m_timers) {
        if (!next || timer.due < *next) {
            next = timer.due;
        }
    }
    return next;
}
