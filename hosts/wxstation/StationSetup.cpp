#include "hosts/wxstation/StationSetup.h"

#include <filesystem>

#include "capture/CaptureFormat.h"
#include "job/JobPlan.h"
#include "mqtt/StateFolder.h"
#include "record/ToolVersion.h"
#include "station/SlotLabel.h"
#include "store/EarlierPasses.h"

namespace {

// Without a folder named, the station keeps its logs beside its default report, so that a tile
// always has a log to show.
Result<StationSetup> Finish(StationSetup setup) {
    setup.imageSha256 = ImageSha256(setup.job.image);
    if (setup.job.logDir) {
        setup.logDir = *setup.job.logDir;
        return setup;
    }
    const Result<std::string> report = DefaultReportPath();
    if (!report) {
        return report.Failure();
    }
    setup.logDir = (std::filesystem::path(*report).parent_path() / "logs").string();
    return setup;
}

}  // namespace

Result<StationSetup> SetupFromJob(const std::string& jobFile, const std::string& slotProgram) {
    Result<Job> job = ReadJob(jobFile);
    if (!job) {
        return job.Failure();
    }
    if (job->unit) {
        // Served without its pool, every box would get the same bytes: never that.
        return Refusal(jobFile,
                       "its [unit] is served by the command line's station (stavel --job), not "
                       "yet by this window; no box is served");
    }
    return Finish(StationSetup{std::move(*job), {}, slotProgram, {}});
}

Result<StationSetup> SetupFromPorts(const std::vector<std::string>& ports, const std::string& image,
                                    const std::string& slotProgram) {
    if (ports.empty() || image.empty()) {
        return Refusal("",
                       "name the ports with -p [LABEL=]PORT and the image with -i FILE, or "
                       "give a job with --job FILE");
    }
    StationSetup setup;
    setup.slotProgram = slotProgram;
    setup.job.image = std::filesystem::absolute(image).lexically_normal().string();
    for (const std::string& port : ports) {
        const SlotArgument slot = ReadSlotArgument(port);
        for (const JobSlot& known : setup.job.slots) {
            if (known.label == slot.label || known.port == slot.port) {
                return Refusal(port, "the same slot or port is given twice");
            }
        }
        setup.job.slots.push_back({slot.label, slot.port, std::nullopt, 0});
    }
    return Finish(std::move(setup));
}

StationConfig ConfigFor(const StationSetup& setup, const std::optional<std::string>& operatorName,
                        int boxesPerSlot) {
    const Job& job = setup.job;
    StationConfig config;
    for (const JobSlot& slot : job.slots) {
        config.ports.push_back(slot.port);
        config.labels.push_back(slot.label);
    }
    config.report = job.report;
    if (job.mqtt && !config.report) {
        // With a broker the local report stays the source of truth, so there is always one.
        const Result<std::string> report = DefaultReportPath();
        config.report = report ? std::optional(*report) : std::nullopt;
    }
    config.loop = true;
    config.count = boxesPerSlot;
    config.program = setup.slotProgram;
    config.power = job.power;
    config.retry = job.retry;
    config.scan = job.scan;
    if (job.scan.blockRepeats && job.db) {
        config.earlierPass = EarlierPassesIn(*job.db, job.name);
    }
    SlotConfig& slot = config.slot;
    slot.image = job.image;
    slot.debug = job.debug;
    slot.timeoutSeconds = job.timeoutSeconds.value_or(slot.timeoutSeconds);
    slot.logDir = setup.logDir;
    slot.timestamps = job.timestamps;
    slot.boxId = job.boxId;
    slot.baud = job.baud.value_or(slot.baud);
    slot.requireWhole = job.requireWhole;
    slot.labelZpl = job.labelZpl;
    slot.printer = job.printer;
    if (!job.sha256.empty()) {
        slot.sha256 = job.sha256;
    }
    if (job.capture) {
        slot.captureDir = job.capture;
        slot.captureMax = job.captureMax.value_or(kCaptureMaxDefault);
    }
    const std::string host = HostName();
    config.made = RecordProvenance{kToolVersion, host, job.station.value_or(host), operatorName,
                                   job.name.empty() ? std::nullopt : std::optional(job.name)};
    slot.made = config.made;
    return config;
}
