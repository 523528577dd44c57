#include "station/SlotLook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/codepage/ShownText.h"
#include "record/VerdictLine.h"

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
        case SlotState::WaitingForScan:
            return {"SCAN BOX", "\u25A4", SlotTone::Warn};  // ▤: its label, before it loads
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
        case SlotState::PowerFailed:
            return {"POWER FAILED", "\u26A0", SlotTone::Warn};
        case SlotState::TakenOut:
            return {"TAKEN OUT", "\u2298", SlotTone::Fail};  // ⊘
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

std::string VerdictText(const LastVerdict& verdict) {
    const std::string word = VerdictWord(verdict.result);
    return verdict.reason.empty() ? word : word + " " + verdict.reason;
}

std::string TroubleText(const SlotStatus& s) {
    const auto line = [](const std::string& what, const std::string& why) {
        return "\u26A0 " + what + (why.empty() ? std::string() : ": " + why);  // ⚠
    };
    if (s.port) {
        switch (s.port->trouble) {
            case PortTrouble::Absent:
                return line("no port", s.port->text);
            case PortTrouble::Busy:
                return line("port busy", s.port->text);
            case PortTrouble::Lost:
                return line("port lost", s.port->text);
        }
    }
    if (s.state == SlotState::PowerFailed) {
        return "\u26A0 " + s.hint;  // "power control failed: ..." names itself
    }
    if (s.state == SlotState::NoRequest) {
        return line("no request", s.hint);
    }
    return s.warning.empty() ? std::string() : line(s.warning, {});
}

std::string StalledText(const ProgressFigures& figures) {
    return figures.stalledSeconds ? "stalled " + std::to_string(*figures.stalledSeconds) + " s"
                                  : std::string();
}

std::string FirstPassText(int firstPasses, int passes, int fails) {
    const std::optional<double> yield = FirstPassYieldOf(firstPasses, passes, fails);
    if (!yield) {
        return "\u2013";  // –
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", *yield * 100);
    return text;
}

std::string YieldText(int passes, int fails) {
    const std::optional<double> yield = YieldOf(passes, fails);
    if (!yield) {
        return "\u2013";  // –
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", *yield * 100);
    return text;
}

namespace {

StateLook LookOfVerdict(BoxResult result) {
    switch (result) {
        case BoxResult::Pass:
            return LookOfState(SlotState::Passed);
        case BoxResult::Fail:
            break;
        case BoxResult::Aborted:
            return LookOfState(SlotState::Aborted);
    }
    return LookOfState(SlotState::Failed);
}

// Beneath a kept verdict: what the slot does now.
std::string NoteBeneath(const SlotStatus& s) {
    if (std::string trouble = TroubleText(s); !trouble.empty()) {
        return trouble;
    }
    switch (s.state) {
        case SlotState::WaitingForPort:
        case SlotState::WaitingForBox:
            return "ready for the next box";
        case SlotState::BoxTalking:
            return "\u2026 box talking";  // …
        case SlotState::Stopping:
            return "\u25A0 stopping";  // ■
        default:
            return {};
    }
}

}  // namespace

SlotLook LookOf(const SlotStatus& s) {
    // The last verdict stays in sight until the next box begins: the operator reads it when
    // taking the box out, whatever the port does meanwhile.
    // A slot out of service says so over any verdict: it takes no box until put back.
    const bool out = s.state == SlotState::TakenOut;
    const StateLook state = s.last && !out ? LookOfVerdict(s.last->result) : LookOfState(s.state);
    SlotLook look;
    look.word = state.word;
    look.symbol = state.symbol;
    look.tone = state.tone;
    if (!s.last && (s.state == SlotState::Loading || s.state == SlotState::Stopping)) {
        look.bar = true;
        look.percent = std::max(0, std::min(100, s.figures.percent));
        look.progress = std::to_string(look.percent) + " %";
        if (const std::string stalled = StalledText(s.figures); !stalled.empty()) {
            look.progress += ", " + stalled;
        } else if (s.figures.etaSeconds) {
            const std::string left = TimeLeft(*s.figures.etaSeconds);
            look.progress += left.empty() ? "" : ", " + left + " left";
        }
    }
    if (out) {
        look.detail = s.hint;
    } else if (s.last) {
        look.boxId = s.last->boxId.empty() ? std::string() : "box " + EscapeName(s.last->boxId);
        look.detail = s.last->reason;
        look.note = NoteBeneath(s);
        if (s.last->labelMissed && !look.note.starts_with("\u26A0")) {
            // Over "ready for the next box": the box in hand still needs its label.
            look.note = "\u26A0 label not printed: print it again from the slot's menu";  // ⚠
        }
    } else if (s.state == SlotState::PortAbsent || s.state == SlotState::PortBusy) {
        look.detail = s.port ? s.port->text : std::string();
    } else if (s.state == SlotState::NoRequest || s.state == SlotState::PowerFailed) {
        look.detail = s.hint;
    } else {
        look.note = TroubleText(s);
    }
    if (s.scan) {
        look.scanNext = s.scan->next;
        look.scan = s.scan->next         ? "\u25B8 scan next"  // ▸
                    : s.scan->waits      ? "waits for a scan"
                    : s.scan->id.empty() ? std::string()
                                         : "scanned " + EscapeName(s.scan->id);
    }
    look.counts = std::to_string(s.passes) + " passed, " + std::to_string(s.fails) + " failed";
    if (s.aborts > 0) {
        look.counts += ", " + std::to_string(s.aborts) + " aborted";
    }
    return look;
}
