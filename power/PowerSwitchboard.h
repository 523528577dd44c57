#pragma once

// The station's power control over real switches: each slot's actions run in order on a thread
// of the slot's own, so that one slow switch holds no other slot, each within the plan's bound.
// Modem-line backends (dtr, rts) are the slot's own to switch; the station never hands them
// here.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "station/PowerControl.h"

class PowerSwitchboard final : public PowerControl {
  public:
    // `outlets` and `labels`: one each per slot, in the station's order.
    PowerSwitchboard(PowerPlan plan, std::vector<SlotSwitch> outlets,
                     std::vector<std::string> labels);
    // Waits for the actions under way; each ends within its bound.
    ~PowerSwitchboard() override;

    void SetWake(std::function<void()> wake) override;
    void Start(std::size_t slot, PowerAction action) override;
    std::vector<Done> TakeDone() override;

    // What one action on one slot does: exposed for the tests of what it asks.
    PowerOutcome Act(std::size_t slot, PowerAction action) const;

  private:
    void Work(std::size_t slot);

    const PowerPlan m_plan;
    const std::vector<SlotSwitch> m_outlets;
    const std::vector<std::string> m_labels;
    std::mutex m_lock;
    std::condition_variable m_asked;
    std::vector<std::deque<PowerAction>> m_queues;
    std::vector<Done> m_done;
    std::function<void()> m_wake;
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};
