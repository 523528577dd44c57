#include "download/SlotStatusCodec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "platform/codepage/Utf8.h"
#include "record/BoxRecordCodec.h"

namespace {

// What one text of a status may cost a reader.
constexpr std::size_t kWordBytes = 40;
constexpr std::size_t kNameBytes = 200;
constexpr std::size_t kHintBytes = 300;
constexpr std::size_t kReasonBytes = 500;
// A tally beyond any real line's, so that a hostile count stays a plain number everywhere.
constexpr double kMostBoxes = 1e9;

constexpr std::array<std::pair<PortTrouble, const char*>, 3> kTroubles{{
    {PortTrouble::Absent, "absent"},
    {PortTrouble::Busy, "busy"},
    {PortTrouble::Lost, "lost"},
}};

// A whole number of seconds, or null for none or a figure no clock gives.
Json WholeOrNull(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) {
        return nullptr;
    }
    return std::llround(std::clamp(*value, 0.0, 1e9));
}

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : JsonText(text);
}

// A number within `low`..`high`; nothing for a missing key, another type or no finite value.
std::optional<double> Bounded(const Json& json, const char* key, double low, double high) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_number()) {
        return std::nullopt;
    }
    const double value = it->get<double>();
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return std::clamp(value, low, high);
}

int Count(const Json& json, const char* key) {
    return static_cast<int>(std::llround(Bounded(json, key, 0, kMostBoxes).value_or(0)));
}

std::string Text(const Json& json, const char* key, std::size_t most) {
    return CutText(JsonStringAt(json, key), most);
}

}  // namespace

const char* PortTroubleWord(PortTrouble trouble) {
    for (const auto& [value, word] : kTroubles) {
        if (value == trouble) {
            return word;
        }
    }
    return "absent";
}

std::optional<PortTrouble> PortTroubleFromWord(std::string_view word) {
    for (const auto& [value, known] : kTroubles) {
        if (word == known) {
            return value;
        }
    }
    return std::nullopt;
}

Json LastVerdictJson(const LastVerdict& v) {
    Json json{{"result", BoxResultWord(v.result)},
              {"reason", JsonText(v.reason)},
              {"reason_code", TextOrNull(v.reasonCode)},
              {"box_id", TextOrNull(v.boxId)},
              {"end", IsoUtcMillis(v.time)},
              {"attempt", v.attempt}};
    if (v.labelMissed) {
        json["label_missed"] =
            true;  // only then: a verdict of a job without labels reads as before
    }
    return json;
}

Json SlotStatusJson(const SlotStatus& s) {
    const ProgressFigures& f = s.figures;
    Json port = nullptr;
    if (s.port) {
        port =
            Json{{"trouble", PortTroubleWord(s.port->trouble)}, {"text", JsonText(s.port->text)}};
    }
    std::optional<double> stalled;
    if (f.stalledSeconds) {
        stalled = *f.stalledSeconds;
    }
    return Json{
        {"state", SlotStateCode(s.state)},
        {"percent", f.percent},
        {"rate", std::isfinite(f.rate) ? std::llround(std::max(f.rate, 0.0)) : 0},
        {"eta", WholeOrNull(f.etaSeconds)},
        {"passes", s.passes},
        {"fails", s.fails},
        {"aborts", s.aborts},
        {"stalled", WholeOrNull(stalled)},
        {"last", s.last ? LastVerdictJson(*s.last) : Json(nullptr)},
        {"port_problem", std::move(port)},
        {"hint", TextOrNull(s.hint)},
        {"warning", TextOrNull(s.warning)},
        {"first_passes", s.firstPasses},
        {"scan", s.scan ? Json{{"waits", s.scan->waits},
                               {"next", s.scan->next},
                               {"id", TextOrNull(s.scan->id)}}
                        : Json(nullptr)},
        {"schema", kSlotStatusSchema},
    };
}

std::string SlotStatusLine(const SlotStatus& status) {
    return JsonLine(SlotStatusJson(status));
}

std::optional<LastVerdict> LastVerdictFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    const std::optional<BoxResult> result = BoxResultFromWord(JsonStringAt(json, "result"));
    if (!result) {
        return std::nullopt;
    }
    LastVerdict v;
    v.result = *result;
    v.reason = *result == BoxResult::Pass ? std::string() : Text(json, "reason", kReasonBytes);
    v.reasonCode = Text(json, "reason_code", kWordBytes);
    v.boxId = Text(json, "box_id", kNameBytes);
    v.time = FromIsoUtcMillis(JsonStringAt(json, "end")).value_or(v.time);
    v.attempt = static_cast<int>(std::llround(Bounded(json, "attempt", 1, kMostBoxes).value_or(1)));
    const auto missed = json.find("label_missed");
    v.labelMissed = *result == BoxResult::Pass && missed != json.end() && missed->is_boolean() &&
                    missed->get<bool>();
    return v;
}

std::optional<SlotStatusRead> SlotStatusFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    SlotStatusRead read;
    SlotStatus& s = read.status;
    const auto state = json.find("state");
    const std::string word =
        state != json.end() && state->is_string() ? state->get<std::string>() : std::string("?");
    if (!SlotStateFromCode(word, &s.state)) {
        read.unknownState = CutText(word.empty() ? "?" : word, kWordBytes);
    }
    ProgressFigures& f = s.figures;
    f.percent = static_cast<int>(std::llround(Bounded(json, "percent", 0, 100).value_or(0)));
    f.rate = std::round(Bounded(json, "rate", 0, 1e12).value_or(0));
    f.etaSeconds = Bounded(json, "eta", 0, 1e9);
    if (const std::optional<double> stalled = Bounded(json, "stalled", 0, 1e9)) {
        f.stalledSeconds = static_cast<int>(std::llround(*stalled));
    }
    s.passes = Count(json, "passes");
    s.fails = Count(json, "fails");
    s.aborts = Count(json, "aborts");
    read.schema = static_cast<int>(Bounded(json, "schema", 1, 1e6).value_or(1));
    if (const auto last = json.find("last"); last != json.end()) {
        s.last = LastVerdictFromJson(*last);
    }
    if (const auto port = json.find("port_problem"); port != json.end() && port->is_object()) {
        // A trouble word this version does not know is still a port that cannot serve.
        s.port = PortProblem{
            PortTroubleFromWord(JsonStringAt(*port, "trouble")).value_or(PortTrouble::Absent),
            Text(*port, "text", kReasonBytes)};
    }
    s.hint = Text(json, "hint", kHintBytes);
    s.warning = Text(json, "warning", kReasonBytes);
    // Before boxes were retried every box had one attempt: its passes were first passes.
    s.firstPasses =
        json.contains("first_passes") ? std::min(Count(json, "first_passes"), s.passes) : s.passes;
    if (const auto scan = json.find("scan"); scan != json.end() && scan->is_object()) {
        const auto flag = [&scan](const char* key) {
            const auto it = scan->find(key);
            return it != scan->end() && it->is_boolean() && it->get<bool>();
        };
        s.scan = SlotScan{flag("waits"), flag("next"), Text(*scan, "id", kNameBytes)};
    }
    return read;
}

std::optional<SlotStatusRead> ParseSlotStatus(std::string_view payload) {
    const std::optional<Json> json = ParseJsonObject(payload);
    return json ? SlotStatusFromJson(*json) : std::nullopt;
}
