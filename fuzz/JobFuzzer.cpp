// Any bytes as a job file's text (at most the 64 KiB a job file may hold), read as --job reads
// it. It may not crash; a refusal names the file and says why; a job it takes has what every
// job must have, and its text read again is the same job.

#include <cstdint>
#include <string>

#include "fuzz/FuzzText.h"
#include "job/Job.h"

namespace {

// A folder that is not there: a relative port or path resolves against it without finding a
// device of this machine's.
constexpr const char* kFile = "/nonexistent-stavel-fuzz/job.toml";

bool SameJob(const Job& a, const Job& b) {
    if (a.slots.size() != b.slots.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.slots.size(); ++i) {
        if (a.slots[i].label != b.slots[i].label || a.slots[i].port != b.slots[i].port) {
            return false;
        }
    }
    return a.file == b.file && a.name == b.name && a.station == b.station && a.image == b.image &&
           a.sha256 == b.sha256 && a.timeoutSeconds == b.timeoutSeconds && a.boxId == b.boxId &&
           a.report == b.report && a.logDir == b.logDir && a.timestamps == b.timestamps &&
           a.debug == b.debug && a.capture == b.capture && a.captureMax == b.captureMax &&
           a.mqtt == b.mqtt && a.mqttCa == b.mqttCa && a.mqttPasswordFile == b.mqttPasswordFile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) {
        return -1;  // ReadJob refuses it before parsing
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Result<Job> job = ParseJob(text, kFile);
    if (!job) {
        const std::string why = job.Failure().Describe();
        if (why.rfind(kFile, 0) != 0) {
            fuzz::Fail("a refusal that does not name the job file", why);
        }
        return 0;
    }
    if (job->name.empty() || job->image.empty() || job->sha256.size() != 64 || job->slots.empty()) {
        fuzz::Fail("a job taken without what every job has", text);
    }
    const Result<Job> again = ParseJob(text, kFile);
    if (!again || !SameJob(*job, *again)) {
        fuzz::Fail("the same text reads to another job", text);
    }
    return 0;
}
