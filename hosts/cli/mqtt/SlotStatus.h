#pragma once

// Where a slot of a station stands, as its state topic carries it: a small JSON object,
// {"state":"serving","percent":42,"rate":11520,"eta":31,"passes":3,"fails":0}, rate in bytes per
// second, eta in seconds (null when not known).

#include <optional>
#include <string>

struct SlotStatus {
    enum class State { Idle, Waiting, Serving, Passed, Failed };
    State state = State::Idle;
    int percent = 0;
    double rate = 0;
    std::optional<double> etaSeconds;
    int passes = 0;
    int fails = 0;

    bool operator==(const SlotStatus&) const = default;
};

const char* StateName(SlotStatus::State state);
std::string SlotStatusJson(const SlotStatus& status);
