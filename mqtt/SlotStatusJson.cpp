#include <cmath>

#include "mqtt/SlotStatus.h"
#include "record/Json.h"

std::string SlotStatusJson(const SlotStatus& s) {
    const ProgressFigures& f = s.figures;
    Json eta = nullptr;
    if (f.etaSeconds && std::isfinite(*f.etaSeconds)) {
        eta = std::llround(*f.etaSeconds);
    }
    const Json json{
        {"state", SlotStateCode(s.state)},
        {"percent", f.percent},
        {"rate", std::isfinite(f.rate) ? std::llround(f.rate) : 0},
        {"eta", eta},
        {"passes", s.passes},
        {"fails", s.fails},
        {"aborts", s.aborts},
    };
    return JsonLine(json);
}
