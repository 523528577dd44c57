#include "record/PassedBoxes.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <utility>

#include "record/Json.h"

namespace {

// "2026-12-07T10:32:05.120Z" as a time; nothing when it is not one.
std::optional<std::chrono::system_clock::time_point> FromIsoUtc(const std::string& text) {
    std::tm utc{};
    int millis = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis) != 7) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(timegm(&utc)) + std::chrono::milliseconds(millis);
}

}  // namespace

void PassedBoxes::Load(const std::string& reportPath) {
    // Only a file on disk holds earlier records (not /dev/stdout, a FIFO or /dev/full).
    struct stat info {};
    if (stat(reportPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    std::ifstream in(reportPath);
    for (std::string line; std::getline(in, line);) {
        if (const std::optional<Json> record = ParseJsonObject(line)) {
            Add(*record);
        }
    }
}

void PassedBoxes::Add(const Json& record) {
    const std::string boxId = JsonStringAt(record, "box_id");
    const auto start = FromIsoUtc(JsonStringAt(record, "start"));
    if (JsonStringAt(record, "result") == "pass" && !boxId.empty() && start) {
        m_passed.try_emplace(
            boxId, Earlier{JsonStringAt(record, "id"), *start, JsonStringAt(record, "slot")});
    }
}

std::optional<PassedBoxes::Earlier> PassedBoxes::Find(const std::string& boxId) {
    if (const std::optional<std::string> report = std::exchange(m_report, std::nullopt)) {
        Load(*report);
    }
    const auto it = m_passed.find(boxId);
    return it == m_passed.end() ? std::nullopt : std::optional(it->second);
}

void PassedBoxes::Add(const BoxRecord& record) {
    if (record.Passed() && record.boxId) {
        m_passed.try_emplace(*record.boxId, Earlier{record.id, record.start, record.slot});
    }
}

std::string RepeatWarning(const std::string& boxId, const PassedBoxes::Earlier& earlier) {
    const std::time_t when = std::chrono::system_clock::to_time_t(earlier.start);
    std::tm local{};
    localtime_r(&when, &local);
    char time[16];
    std::strftime(time, sizeof time, "%H:%M", &local);
    return "box " + boxId + " was loaded before: " + time + ", slot " + earlier.slot;
}
