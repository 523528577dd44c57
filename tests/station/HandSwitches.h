#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "station/PowerControl.h"

// Switches that act when the test says, and say what they were asked.
struct HandSwitches final : PowerControl {
    std::vector<std::pair<std::size_t, PowerAction>> asked;
    std::deque<Done> done;
    std::function<void()> wake;
    void SetWake(std::function<void()> w) override { wake = std::move(w); }
    void Start(std::size_t slot, PowerAction action) override { asked.emplace_back(slot, action); }
    std::vector<Done> TakeDone() override {
        std::vector<Done> out(done.begin(), done.end());
        done.clear();
        return out;
    }
    void Finish(std::size_t slot, PowerAction action, PowerOutcome outcome = {}) {
        done.push_back(Done{slot, action, std::move(outcome)});
    }
};
