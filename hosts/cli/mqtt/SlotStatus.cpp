#include "hosts/cli/mqtt/SlotStatus.h"

#include <cmath>
#include <cstdio>

const char* StateName(SlotStatus::State state) {
    switch (state) {
        case SlotStatus::State::Idle:
            return "idle";
        case SlotStatus::State::Waiting:
            return "waiting";
        case SlotStatus::State::Serving:
            return "serving";
        case SlotStatus::State::Passed:
            return "passed";
        case SlotStatus::State::Failed:
            return "failed";
    }
    return "idle";
}

std::string SlotStatusJson(const SlotStatus& s) {
    char eta[32] = "null";
    if (s.etaSeconds && std::isfinite(*s.etaSeconds)) {
        std::snprintf(eta, sizeof eta, "%.0f", *s.etaSeconds);
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "{\"state\":\"%s\",\"percent\":%d,\"rate\":%.0f,\"eta\":%s,\"passes\":%d,"
                  "\"fails\":%d}",
                  StateName(s.state), s.percent, std::isfinite(s.rate) ? s.rate : 0.0, eta,
                  s.passes, s.fails);
    return text;
}
