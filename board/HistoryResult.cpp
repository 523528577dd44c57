#include "board/HistoryResult.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/codepage/Utf8.h"
#include "record/BoxRecordCodec.h"

namespace {

constexpr std::size_t kNameBytes = 200;
constexpr std::size_t kReasonBytes = 500;
constexpr std::size_t kIdBytes = 64;

// A result from the fields that a record and an older board's history line share.
std::optional<HistoryResult> FromJson(const Json& json, std::string station, std::string slot) {
    HistoryResult result;
    result.id = CutText(JsonStringAt(json, "id"), kIdBytes);
    const std::optional<BoxResult> word = BoxResultFromWord(JsonStringAt(json, "result"));
    const std::optional<std::int64_t> end = MillisOfIsoTime(JsonStringAt(json, "end"));
    if (result.id.empty() || !word || !end) {
        return std::nullopt;
    }
    result.station = CutText(station, kNameBytes);
    result.slot = CutText(slot, kNameBytes);
    result.result = *word;
    result.endMs = *end;
    const double seconds = JsonNumberAt(json, "seconds");
    result.seconds = std::isfinite(seconds) && seconds > 0 ? std::min(seconds, 1e7) : 0;
    if (*word != BoxResult::Pass) {
        result.reason = CutText(JsonStringAt(json, "reason"), kReasonBytes);
    }
    result.boxId = CutText(JsonStringAt(json, "box_id"), kNameBytes);
    return result;
}

}  // namespace

std::optional<std::int64_t> MillisOfIsoTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    char zone = 0;
    int consumed = 0;
    if (text.size() != 24 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%n", &year, &month, &day, &hour,
                    &minute, &second, &millis, &zone, &consumed) != 8 ||
        consumed != 24 || zone != 'Z' || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second > 60 || millis < 0) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&fields)) * 1000 + millis;
}

std::string IsoTimeOfMillis(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                  static_cast<int>(ms - static_cast<std::int64_t>(seconds) * 1000));
    return text;
}

HistoryResult ResultOfRecord(const std::string& station, const std::string& slot,
                             const BoxRecord& record) {
    HistoryResult result;
    result.id = CutText(record.id, kIdBytes);
    result.station = CutText(station, kNameBytes);
    result.slot = CutText(slot, kNameBytes);
    result.result = record.result;
    result.endMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(record.end.time_since_epoch())
            .count();
    result.seconds =
        std::isfinite(record.seconds) && record.seconds > 0 ? std::min(record.seconds, 1e7) : 0;
    if (!record.Passed()) {
        result.reason = CutText(record.reason, kReasonBytes);
    }
    result.boxId = CutText(record.boxId.value_or(""), kNameBytes);
    return result;
}

std::optional<HistoryResult> ResultFromStored(const std::string& station, const std::string& slot,
                                              const std::string& json) {
    const std::optional<Json> parsed = ParseJsonObject(json);
    return parsed ? FromJson(*parsed, station, slot) : std::nullopt;
}

Json HistoryJson(const HistoryResult& r) {
    Json line{{"id", JsonText(r.id)},
              {"station", JsonText(r.station)},
              {"slot", JsonText(r.slot)},
              {"result", BoxResultWord(r.result)},
              {"end", IsoTimeOfMillis(r.endMs)},
              {"seconds", JsonNumber(std::round(r.seconds * 1000) / 1000)}};
    if (!r.reason.empty()) {
        line["reason"] = JsonText(r.reason);
    }
    if (!r.boxId.empty()) {
        line["box_id"] = JsonText(r.boxId);
    }
    return line;
}
