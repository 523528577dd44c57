#include "power/PowerSwitchboard.h"

#include <utility>

#include "power/BoundedCommand.h"
#include "power/PdudaemonRequest.h"
#include "power/PowerRequest.h"

PowerSwitchboard::PowerSwitchboard(PowerPlan plan, std::vector<SlotSwitch> outlets,
                                   std::vector<std::string> labels)
    : m_plan(std::move(plan)),
      m_outlets(std::move(outlets)),
      m_labels(std::move(labels)),
      m_queues(m_outlets.size()) {
    for (std::size_t i = 0; i < m_outlets.size(); ++i) {
        m_workers.emplace_back([this, i] { Work(i); });
    }
}

PowerSwitchboard::~PowerSwitchboard() {
    {
        std::lock_guard lock(m_lock);
        m_quit = true;
    }
    m_asked.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void PowerSwitchboard::SetWake(std::function<void()> wake) {
    std::lock_guard lock(m_lock);
    m_wake = std::move(wake);
}

void PowerSwitchboard::Start(std::size_t slot, PowerAction action) {
    {
        std::lock_guard lock(m_lock);
        if (slot >= m_queues.size()) {
            return;
        }
        m_queues[slot].push_back(action);
    }
    m_asked.notify_all();
}

std::vector<PowerControl::Done> PowerSwitchboard::TakeDone() {
    std::lock_guard lock(m_lock);
    return std::exchange(m_done, {});
}

PowerOutcome PowerSwitchboard::Act(std::size_t slot, PowerAction action) const {
    const SlotSwitch& outlet = m_outlets.at(slot);
    switch (m_plan.backend) {
        case PowerBackend::Pdudaemon:
            return PdudaemonRequest(m_plan.url, PdudaemonTarget(outlet, action), m_plan.bound);
        case PowerBackend::Uhubctl:
            return RunBounded(UhubctlArgv(outlet, action), m_plan.bound);
        case PowerBackend::Command:
            return RunBounded(CommandArgv(m_plan.command, m_labels.at(slot), outlet, action),
                              m_plan.bound);
        case PowerBackend::Dtr:
        case PowerBackend::Rts:
            break;
    }
    return {false, "the slot's own line switches its box, not the station"};
}

void PowerSwitchboard::Work(std::size_t slot) {
    for (;;) {
        PowerAction action;
        {
            std::unique_lock lock(m_lock);
            m_asked.wait(lock, [&] { return m_quit || !m_queues[slot].empty(); });
            if (m_quit) {
                return;
            }
            action = m_queues[slot].front();
            m_queues[slot].pop_front();
        }
        PowerOutcome outcome = Act(slot, action);
        std::function<void()> wake;
        {
            std::lock_guard lock(m_lock);
            m_done.push_back(Done{slot, action, std::move(outcome)});
            wake = m_wake;
        }
        if (wake) {
            wake();
        }
    }
}
