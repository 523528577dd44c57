#include "record/BoxRecordJson.h"

#include <cstdio>
#include <ctime>

namespace {

// Seconds to the millisecond, as the times are kept.
double Millis(double seconds) {
    return static_cast<double>(static_cast<long long>(seconds * 1000.0 + 0.5)) / 1000.0;
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
