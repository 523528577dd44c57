#include <nlohmann/json.hpp>

#include <cmath>

#include "mqtt/SlotStatus.h"

std::string SlotStatusJson(const SlotStatus& s) {
    const ProgressFigures& f = s.figures;
    nlohmann::ordered_json eta = nullptr;
    if (f.etaSeconds && std::isfinite(*f.etaSeconds)) {
        eta = std::llround(*f.etaSeconds);
    }
    const nlohmann::ordered_json json{
        {"state", SlotStateCode(s.state)},
        {"percent", f.percent},
        {"rate", std::isfinite(f.rate) ? std::llround(f.rate) : 0},
        {"eta", eta},
        {"passes", s.passes},
        {"fails", s.fails},
        {"aborts", s.aborts},
    };
    return json.dump();
}
