#include "slot/UnitData.h"

#include <algorithm>

namespace {

// What a slot's region holds at most (a job's region is 64 KiB at most): more fields than
// bytes is no unit.
constexpr std::size_t kMostFields = 65536;

}  // namespace

Json UnitDataJson(const UnitData& data) {
    if (data.refusal) {
        return Json{{"refusal", EndReasonCode(*data.refusal)}, {"why", JsonText(data.why)}};
    }
    Json fields = Json::array();
    for (const std::string& text : data.fields) {
        fields.push_back(JsonText(text));
    }
    return Json{{"lease", JsonText(data.lease)}, {"fields", std::move(fields)}};
}

std::optional<UnitData> UnitDataFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    UnitData data;
    if (json.contains("refusal")) {
        EndReason reason = EndReason::UnitPoolEmpty;
        if (!EndReasonFromCode(JsonStringAt(json, "refusal"), &reason) ||
            (reason != EndReason::UnitPoolEmpty && reason != EndReason::UnitStoreUnreachable)) {
            return std::nullopt;
        }
        data.refusal = reason;
        data.why = JsonStringAt(json, "why");
        return data;
    }
    data.lease = JsonStringAt(json, "lease");
    const auto fields = json.find("fields");
    if (data.lease.empty() || fields == json.end() || !fields->is_array() ||
        fields->size() > kMostFields) {
        return std::nullopt;
    }
    for (const Json& text : *fields) {
        if (!text.is_string()) {
            return std::nullopt;
        }
        data.fields.push_back(text.get<std::string>());
    }
    return data;
}

Json UnitReportJson(const UnitReport& r) {
    return Json{{"lease", JsonText(r.lease)},
                {"reached", r.reached},
                {"length", r.length},
                {"served_sha256", JsonText(r.servedSha256)},
                {"ended", r.ended}};
}

std::optional<UnitReport> UnitReportFromJson(const Json& json) {
    if (!json.is_object() || JsonStringAt(json, "lease").empty()) {
        return std::nullopt;
    }
    UnitReport r;
    r.lease = JsonStringAt(json, "lease");
    r.length = std::max<std::int64_t>(0, JsonWholeAt(json, "length"));
    r.reached = std::clamp<std::int64_t>(JsonWholeAt(json, "reached"), 0, r.length);
    r.servedSha256 = JsonStringAt(json, "served_sha256");
    r.ended = JsonBoolAt(json, "ended");
    return r;
}
