#pragma once

// The switches a station's power actions go to. The station decides when a slot's box is
// switched (Start, between a box's attempts, after its final one); whoever implements this
// carries the action out off the supervisor's thread, within the plan's bound, and hands the
// outcome back. The switches themselves live above the station (power/); the supervisor's
// tests give their own.
//
// Threading rules: Start and TakeDone on the supervisor's thread; the wake given to SetWake is
// called from whatever thread finished an action.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "station/PowerPlan.h"

struct PowerOutcome {
    bool ok = true;
    std::string reason;  // why it failed: "pdudaemon at http://...: connection refused"
};

class PowerControl {
  public:
    struct Done {
        std::size_t slot = 0;
        PowerAction action = PowerAction::On;
        PowerOutcome outcome;
    };

    virtual ~PowerControl() = default;
    // Called whenever an action has finished, so that the supervisor comes to TakeDone.
    virtual void SetWake(std::function<void()> wake) = 0;
    // Switches slot `slot`'s box; actions on one slot run in the order asked.
    virtual void Start(std::size_t slot, PowerAction action) = 0;
    // The actions finished since the last call.
    virtual std::vector<Done> TakeDone() = 0;
};
