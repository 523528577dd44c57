#include "station/StationRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/base/UniqueFd.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/Host.h"
#include "record/VerdictLine.h"
#include "slot/KilledBoxFiles.h"
#include "station/StationJournal.h"

namespace {

// A box recorded by a start that was itself killed before it forgot the journal is at the end of
// the report: the last records are enough to know.
constexpr off_t kTailBytes = 64 * 1024;

bool ReportHolds(const std::string& report, const std::string& id) {
    const UniqueFd fd(open(report.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.Get(), &info) != 0) {
        return false;
    }
    const off_t from = std::max<off_t>(0, info.st_size - kTailBytes);
    std::string tail(static_cast<std::size_t>(info.st_size - from), '\0');
    const ssize_t n = pread(fd.Get(), tail.data(), tail.size(), from);
    tail.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return tail.find("{\"id\":\"" + id + "\"") != std::string::npos;
}

}  // namespace

int RecoverKilledRuns(const std::string& report, const RecoveryEars& ears) {
    int recorded = 0;
    for (const auto& run : AbandonedRun::Find(report)) {
        for (const AbandonedRun::Journal& entry : run->Journals()) {
            if (!entry.journal) {
                ears.say("the journal " + EscapeName(entry.path) +
                         " does not read as a slot's journal; it is passed over");
                continue;
            }
            const SlotJournal& journal = *entry.journal;
            if (!journal.box) {
                // The slot waited for a box: nothing in its files is any box's.
                for (const auto& file : {journal.log, journal.capture}) {
                    if (file) {
                        RemoveHiddenBoxFile(*file);
                    }
                }
                AbandonedRun::Forget(entry);
                continue;
            }
            BoxRecord record = *journal.box;
            if (ReportHolds(report, record.id)) {
                AbandonedRun::Forget(entry);
                continue;
            }
            if (journal.log) {
                record.logFile = CloseKilledBoxLog(
                    *journal.log, record,
                    ApplicationName() + ": " + VerdictLine(journal.portLabel, record),
                    journal.stamps);
                record.logComplete = false;
            }
            if (journal.capture) {
                CloseKilledBoxCapture(*journal.capture, record,
                                      DownloadEnded{EndReason::StationKilled, {}, {}});
            }
            if (ears.keep(record)) {
                AbandonedRun::Forget(entry);
                ++recorded;
            }
        }
    }
    return recorded;
}
