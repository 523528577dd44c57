#include "station/SlotLook.h"

#include <cmath>
#include <cstdio>

namespace {

struct StateLook {
    const char* word;
    const char* symbol;
    SlotTone tone;
};

StateLook LookOfState(SlotState state) {
    switch (state) {
        case SlotState::WaitingForPort:
            return {"IDLE", "\u25CC", SlotTone::Idle};  // ◌: not started, or opening its port
        case SlotState::PortAbsent:
            return {"NO PORT", "\u26A0", SlotTone::Warn};  // ⚠
        case SlotState::PortBusy:
            return {"PORT BUSY", "\u26A0", SlotTone::Warn};
        case SlotState::WaitingForBox:
            return {"READY", "\u25CB", SlotTone::Idle};  // ○
        case SlotState::BoxTalking:
            return {"TALKING", "\u2026", SlotTone::Busy};  // …
        case SlotState::NoRequest:
            return {"NO REQUEST", "\u26A0", SlotTone::Warn};
        case SlotState::Loading:
            return {"LOADING", "\u25B6", SlotTone::Busy};  // ▶
        case SlotState::Stopping:
            return {"STOPPING", "\u25A0", SlotTone::Warn};  // ■
        case SlotState::Passed:
            return {"PASS", "\u2714", SlotTone::Pass};  // ✔
        case SlotState::Failed:
            return {"FAIL", "\u2718", SlotTone::Fail};  // ✘
        case SlotState::Aborted:
            return {"ABORTED", "\u25A0", SlotTone::Warn};
    }
    return {"?", "?", SlotTone::Idle};
}

}  // namespace

std::string TimeLeft(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        return {};
    }
    const long long s = std::llround(seconds);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    }
    return text;
}

SlotLook LookOf(const SlotStatus& s) {
    // Between boxes the last verdict stays in sight until the next box begins: the operator
    // reads it when taking the box out.
    const bool between =
        (s.state == SlotState::WaitingForBox || s.state == SlotState::WaitingForPort) &&
        s.lastResult.has_value();
    SlotState shown = s.state;
    if (between) {
        shown = *s.lastResult == BoxResult::Pass   ? SlotState::Passed
                : *s.lastResult == BoxResult::Fail ? SlotState::Failed
                                                   : SlotState::Aborted;
    }
    const StateLook state = LookOfState(shown);
    SlotLook look;
    look.word = state.word;
    look.symbol = state.symbol;
    look.tone = state.tone;
    if (s.state == SlotState::Loading || s.state == SlotState::Stopping) {
        look.bar = true;
        look.percent = std::max(0, std::min(100, s.figures.percent));
        look.progress = std::to_string(look.percent) + " %";
        if (s.figures.etaSeconds) {
            const std::string left = TimeLeft(*s.figures.etaSeconds);
            look.progress += left.empty() ? "" : ", " + left + " left";
        }
    }
    if (!s.boxId.empty()) {
        look.boxId = "box " + s.boxId;
    }
    if (between) {
        look.progress = "ready for the next box";
    }
    const bool troubled = shown == SlotState::Failed || shown == SlotState::Aborted ||
                          s.state == SlotState::PortAbsent || s.state == SlotState::PortBusy ||
                          s.state == SlotState::NoRequest;
    if (troubled) {
        look.detail = s.reason;
    }
    look.counts = std::to_string(s.passes) + " passed, " + std::to_string(s.fails) + " failed";
    if (s.aborts > 0) {
        look.counts += ", " + std::to_string(s.aborts) + " aborted";
    }
    return look;
}
