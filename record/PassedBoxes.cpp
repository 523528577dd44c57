#include "record/PassedBoxes.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <utility>

#include "record/BoxRecordCodec.h"

void PassedBoxes::Load(const std::string& reportPath) {
    // Only a file on disk holds earlier records (not /dev/stdout, a FIFO or /dev/full).
    struct stat info {};
    if (stat(reportPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    std::ifstream in(reportPath);
    for (std::string line; std::getline(in, line);) {
        if (const std::optional<BoxRecord> record = ParseBoxRecord(line)) {
            Add(*record);
        }
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

namespace {

// When the earlier pass started, in local time, as `format` (strftime) writes it.
std::string LocalStart(const PassedBoxes::Earlier& earlier, const char* format) {
    const std::time_t when = std::chrono::system_clock::to_time_t(earlier.start);
    std::tm local{};
    localtime_r(&when, &local);
    char time[32];
    std::strftime(time, sizeof time, format, &local);
    return time;
}

}  // namespace

std::string RepeatWarning(const std::string& boxId, const PassedBoxes::Earlier& earlier) {
    return "box " + boxId + " was loaded before: " + LocalStart(earlier, "%H:%M") + ", slot " +
           earlier.slot;
}

std::string RepeatRefusal(const std::string& boxId, const PassedBoxes::Earlier& earlier) {
    return "box " + boxId + " already passed: " + LocalStart(earlier, "%Y-%m-%d %H:%M") +
           ", slot " + earlier.slot + ", record " + earlier.recordId;
}
