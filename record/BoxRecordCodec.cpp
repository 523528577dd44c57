#include "record/BoxRecordCodec.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

// Seconds to the millisecond, as the times are kept. A figure past any box's (a record read from
// outside) has no milliseconds to round, and would overflow the whole number they go through.
double Millis(double seconds) {
    constexpr double kLongest = 1e12;
    if (!(std::fabs(seconds) < kLongest)) {
        return seconds;
    }
    return static_cast<double>(static_cast<long long>(seconds * 1000.0 + 0.5)) / 1000.0;
}

// A unit's fields as one object, in the job's order: {"serial":"SN00001000","key":"sha256:…"}.
Json UnitJson(const std::optional<std::vector<std::pair<std::string, std::string>>>& unit) {
    if (!unit) {
        return nullptr;
    }
    Json fields = Json::object();
    for (const auto& [name, value] : *unit) {
        fields[JsonText(name).get<std::string>()] = JsonText(value);
    }
    return fields;
}

std::optional<std::vector<std::pair<std::string, std::string>>> UnitFromJson(const Json& json) {
    const auto it = json.find("unit");
    if (it == json.end() || !it->is_object()) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> unit;
    for (const auto& [name, value] : it->items()) {
        unit.emplace_back(name, value.is_string() ? value.get<std::string>() : std::string());
    }
    return unit;
}

}  // namespace

std::string IsoUtcMillis(std::chrono::system_clock::time_point when) {
    const auto millis =
        std::chrono::time_point_cast<std::chrono::milliseconds>(when).time_since_epoch().count();
    const auto seconds =
        static_cast<std::time_t>(millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
    const auto fraction = static_cast<int>(millis - static_cast<long long>(seconds) * 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
    return text;
}

std::optional<std::chrono::system_clock::time_point> FromIsoUtcMillis(std::string_view text) {
    const std::string whole(text.substr(0, 32));
    std::tm utc{};
    int millis = 0;
    char zone = 0;
    const int read =
        std::sscanf(whole.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis, &zone);
    if (read != 8 || zone != 'Z') {
        millis = 0;
        zone = 0;
        if (std::sscanf(whole.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &utc.tm_year, &utc.tm_mon,
                        &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &zone) != 7 ||
            zone != 'Z') {
            return std::nullopt;
        }
    }
    // The clock's time point holds about 1678 to 2262 in nanoseconds: a year outside the range
    // below is no clock's on a line, and converting it would overflow.
    constexpr int kFirstYear = 1900;
    constexpr int kLastYear = 2200;
    if (utc.tm_year < kFirstYear || utc.tm_year > kLastYear || utc.tm_mon < 1 || utc.tm_mon > 12 ||
        utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 || utc.tm_min > 59 ||
        utc.tm_sec > 60 || millis < 0) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(timegm(&utc)) + std::chrono::milliseconds(millis);
}

std::optional<BoxResult> BoxResultFromWord(std::string_view word) {
    for (const BoxResult result : {BoxResult::Pass, BoxResult::Fail, BoxResult::Aborted}) {
        if (word == BoxResultWord(result)) {
            return result;
        }
    }
    return std::nullopt;
}

const char* BoxResultWord(BoxResult result) {
    switch (result) {
        case BoxResult::Pass:
            return "pass";
        case BoxResult::Fail:
            return "fail";
        case BoxResult::Aborted:
            return "aborted";
    }
    return "fail";
}

Json BoxRecordJson(const BoxRecord& r) {
    return Json{
        {"id", JsonText(r.id)},
        {"slot", JsonText(r.slot)},
        {"device", JsonText(r.device)},
        {"adapter", JsonTextOrNull(r.adapter)},
        {"result", BoxResultWord(r.result)},
        {"reason", JsonText(r.reason)},
        {"start", IsoUtcMillis(r.start)},
        {"end", IsoUtcMillis(r.end)},
        {"seconds", JsonNumber(Millis(r.seconds))},
        {"bytes", r.bytes},
        {"requests", r.requests},
        {"coverage", JsonNumber(r.coverage)},
        {"coverage_sent", JsonNumber(r.coverageSent)},
        {"image", JsonText(r.image)},
        {"image_size", r.imageSize},
        {"image_sha256", JsonText(r.imageSha256)},
        {"log_complete", r.logComplete},
        {"schema", kRecordSchema},
        {"tool_version", JsonText(r.made.toolVersion)},
        {"host", JsonText(r.made.host)},
        {"station", JsonTextOrNull(r.made.station)},
        {"operator", JsonTextOrNull(r.made.operatorName)},
        {"job", JsonTextOrNull(r.made.job)},
        {"box_id", JsonTextOrNull(r.boxId)},
        {"repeat_of", JsonTextOrNull(r.repeatOf)},
        {"by_path", JsonTextOrNull(r.byPath)},
        {"by_id", JsonTextOrNull(r.byId)},
        {"adapter_serial", JsonTextOrNull(r.adapterSerial)},
        {"reason_code", JsonText(r.reasonCode)},
        {"log_file", JsonTextOrNull(r.logFile)},
        {"unit", UnitJson(r.unit)},
        {"served_sha256", JsonTextOrNull(r.servedSha256)},
        {"attempt", r.attempt},
        {"final", r.final},
        {"retry_of", JsonTextOrNull(r.retryOf)},
        {"label", r.label ? Json(*r.label) : Json(nullptr)},
    };
}

void WriteProvenance(Json& record, const RecordProvenance& made) {
    record["tool_version"] = JsonText(made.toolVersion);
    record["host"] = JsonText(made.host);
    record["station"] = JsonTextOrNull(made.station);
    record["operator"] = JsonTextOrNull(made.operatorName);
    record["job"] = JsonTextOrNull(made.job);
}

std::string BoxRecordLine(const BoxRecord& record) {
    return JsonLine(BoxRecordJson(record)) + "\n";
}

namespace {

std::optional<std::string> TextOrNothing(const Json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

}  // namespace

std::optional<BoxRecord> BoxRecordFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    const std::optional<BoxResult> result = BoxResultFromWord(JsonStringAt(json, "result"));
    const auto start = FromIsoUtcMillis(JsonStringAt(json, "start"));
    // A record without a schema predates none: the first version wrote it in every line.
    if (!result || !start || JsonWholeAt(json, "schema") < 1 || JsonStringAt(json, "id").empty()) {
        return std::nullopt;
    }
    BoxRecord r;
    r.id = JsonStringAt(json, "id");
    r.slot = JsonStringAt(json, "slot");
    r.device = JsonStringAt(json, "device");
    r.adapter = TextOrNothing(json, "adapter");
    r.result = *result;
    r.reason = JsonStringAt(json, "reason");
    r.start = *start;
    r.end = FromIsoUtcMillis(JsonStringAt(json, "end")).value_or(*start);
    r.seconds = JsonNumberAt(json, "seconds");
    r.bytes = JsonWholeAt(json, "bytes");
    r.requests = JsonWholeAt(json, "requests");
    r.coverage = JsonNumberAt(json, "coverage");
    r.coverageSent = JsonNumberAt(json, "coverage_sent");
    r.image = JsonStringAt(json, "image");
    r.imageSize = JsonWholeAt(json, "image_size");
    r.imageSha256 = JsonStringAt(json, "image_sha256");
    r.logComplete = JsonBoolAt(json, "log_complete", true);
    r.made.toolVersion = JsonStringAt(json, "tool_version");
    r.made.host = JsonStringAt(json, "host");
    r.made.station = TextOrNothing(json, "station");
    r.made.operatorName = TextOrNothing(json, "operator");
    r.made.job = TextOrNothing(json, "job");
    r.boxId = TextOrNothing(json, "box_id");
    r.repeatOf = TextOrNothing(json, "repeat_of");
    r.byPath = TextOrNothing(json, "by_path");
    r.byId = TextOrNothing(json, "by_id");
    r.adapterSerial = TextOrNothing(json, "adapter_serial");
    r.reasonCode = JsonStringAt(json, "reason_code");
    r.logFile = TextOrNothing(json, "log_file");
    r.unit = UnitFromJson(json);
    r.servedSha256 = TextOrNothing(json, "served_sha256");
    // A record from before boxes were retried is its box's one attempt.
    const std::int64_t attempt = JsonWholeAt(json, "attempt");
    r.attempt = attempt >= 1 && attempt <= 1000000 ? static_cast<int>(attempt) : 1;
    r.final = JsonBoolAt(json, "final", true);
    r.retryOf = TextOrNothing(json, "retry_of");
    if (const auto label = json.find("label"); label != json.end() && label->is_boolean()) {
        r.label = label->get<bool>();
    }
    return r;
}

std::optional<BoxRecord> ParseBoxRecord(std::string_view line) {
    const std::optional<Json> json = ParseJsonObject(line);
    return json ? BoxRecordFromJson(*json) : std::nullopt;
}
