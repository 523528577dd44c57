#include "job/JobPlan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/base/UniqueFd.h"
#include "platform/codepage/ShownText.h"
#include "platform/digest/Sha256.h"
#include "platform/ports/PortChoice.h"
#include "platform/ports/PortMap.h"
#include "platform/ports/PortProbe.h"
#include "record/ReportFile.h"
#include "store/StoreUrl.h"
#include "store/UnitPool.h"
#include "store/UnitSources.h"

namespace {

struct ImageFacts {
    std::string sha256;  // empty when it could not be read
    std::string error;
    long long size = 0;
};

ImageFacts LookAtImage(const std::string& path) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return {{}, std::strerror(errno), 0};
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {{}, "not a regular file", 0};
    }
    const FileDigest digest = Sha256OfFile(fd.Get());
    return {digest.hex, digest.error, static_cast<long long>(st.st_size)};
}

// The system's reason alone, without the file or device it is about.
std::string ReasonOf(const SysFailure& failure) {
    if (!failure.reason.empty()) {
        return failure.reason;
    }
    return failure.result.sysErrno != 0 ? std::strerror(failure.result.sysErrno)
                                        : SysStatusName(failure.result.status);
}

// A slot's port, opened as a start opens it and closed again: its device, or why it cannot
// serve (absent, not a serial line, held by another program, not ours to open).
struct PortLook {
    std::string device;  // what the port stands for, links resolved
    std::optional<SysFailure> refused;
};

PortLook LookAtPort(const std::string& port, std::uint32_t baud) {
    std::string device = port;
    if (const std::optional<int> number = PortNumberForName(port)) {
        device = DevicePathForNumber(*number).value_or(std::string());
    }
    if (device.empty()) {
        return {{}, SysFailure(SysResult{SysStatus::NotFound, "", 0}, port)};
    }
    const SysFailure failure = ProbePort(device, LineSettings{baud});
    if (failure.Failed()) {
        return {ResolvedDevicePath(device), failure};
    }
    return {ResolvedDevicePath(device), std::nullopt};
}

// Whether the file system that holds `path` has a block left for this user.
std::string Room(const std::string& path) {
    struct statvfs room {};
    return statvfs(path.c_str(), &room) == 0 && room.f_bavail == 0 ? std::strerror(ENOSPC)
                                                                   : std::string();
}

// A file that will be appended to (or created), or a folder that will be filled (or made).
std::string Writable(const std::string& path, bool folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target(path);
    if (fs::exists(target, error)) {
        if (fs::is_directory(target, error) != folder) {
            return folder ? "not a folder" : "a folder, not a file";
        }
        return access(path.c_str(), W_OK) == 0 ? Room(path) : std::strerror(errno);
    }
    fs::path parent = target.parent_path();
    while (!parent.empty() && !fs::exists(parent, error)) {
        parent = parent.parent_path();
    }
    if (parent.empty()) {
        parent = ".";
    }
    if (access(parent.c_str(), W_OK) != 0) {
        return parent.string() + ": " + std::strerror(errno);
    }
    return Room(parent.string());
}

// The report as the run opens it, and the write it tries, without a trace in the report: a
// report that is not there yet is not made (its folder must take it).
std::string ReportWritable(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return Writable(path, false);
    }
    Result<std::unique_ptr<ReportFile>> report = ReportFile::Open(path);
    if (!report) {
        return ReasonOf(report.Failure());
    }
    const Result<void> probed = (*report)->Probe();
    return probed ? std::string() : ReasonOf(probed.Failure());
}

std::string Row(const std::string& name, const std::string& value) {
    std::string row = "  " + name;
    row.resize(std::max<std::size_t>(row.size() + 1, 12), ' ');
    return row + value + "\n";
}

// The unit's pool: its store reachable, each source's free values and the next one given. The
// pool is brought up to the job's lists first, as a run does, so the figures are the run's.
bool PlanUnit(const UnitLayout& unit, std::string& t) {
    const Result<StoreUrl> url = ParseStoreUrl(unit.store);
    const std::string shown = url ? url->shown : unit.store;
    char at[24];
    std::snprintf(at, sizeof at, "0x%llX", static_cast<long long>(unit.offset));
    t += Row("unit", std::to_string(unit.length) + " bytes at " + at + ", " +
                         std::to_string(unit.fields.size()) + " field(s)" +
                         (unit.checksum ? ", CRC-32" : ""));
    Result<std::unique_ptr<UnitPool>> pool =
        url ? UnitPool::Open(*url) : Result<std::unique_ptr<UnitPool>>(url.Failure());
    const std::vector<UnitPool::Source> sources = PoolSourcesOf(unit);
    Result<void> filled = pool ? (*pool)->Fill(sources) : Result<void>(pool.Failure());
    Result<std::vector<UnitPool::Count>> counts =
        filled ? (*pool)->Counts(sources) : Result<std::vector<UnitPool::Count>>(filled.Failure());
    if (!counts) {
        t += Row("pool",
                 EscapeName(shown) + ": UNREACHABLE: " + EscapeName(counts.Failure().Describe()));
        return false;
    }
    t += Row("pool", EscapeName(shown) + ": reachable");
    bool ok = true;
    for (const UnitPool::Count& c : *counts) {
        std::string line = c.counter ? "counter" : std::to_string(c.free) + " free";
        line += c.next ? ", next " + EscapeName(*c.next) : ", EMPTY";
        line += "; " + std::to_string(c.used) + " used, " + std::to_string(c.spoiled) +
                " spoiled, " + std::to_string(c.leased) + " leased";
        ok = ok && c.next.has_value();
        t += Row("  " + c.source, line);
    }
    return ok;
}

}  // namespace

std::string ImageSha256(const std::string& image) {
    return LookAtImage(image).sha256;
}

Result<void> CheckImageSha256(const std::string& path, const std::string& sha256) {
    const ImageFacts image = LookAtImage(path);
    if (image.sha256.empty()) {
        return Refusal(path, "cannot read input file: " + image.error);
    }
    if (image.sha256 != sha256) {
        return Refusal(path, "not the required image: its SHA-256 is " + image.sha256 + ", not " +
                                 sha256 + "; no box is served");
    }
    return {};
}

JobPlan PlanJob(const Job& job) {
    JobPlan plan;
    std::string& t = plan.text;
    t += "job " + EscapeName(job.name) + " (" + EscapeName(job.file) + ")\n";
    t += Row("station", EscapeName(job.station.value_or("(the host's name)")));

    const ImageFacts image = LookAtImage(job.image);
    plan.imageOk = !image.sha256.empty() && image.sha256 == job.sha256;
    t += Row("image", EscapeName(job.image) + (image.sha256.empty()
                                                   ? ": cannot be read: " + image.error
                                                   : ", " + std::to_string(image.size) + " bytes"));
    t += Row("sha256", job.sha256 + (plan.imageOk           ? ", the image's"
                                     : image.sha256.empty() ? ""
                                                            : ", but the image's is " +
                                                                  image.sha256 + ": WRONG IMAGE"));

    for (const JobSlot& slot : job.slots) {
        const PortLook look = LookAtPort(slot.port, job.baud.value_or(kDefaultBaud));
        const bool missing = look.refused && look.refused->result.status == SysStatus::NotFound;
        plan.slotsMissing += missing ? 1 : 0;
        plan.slotsRefused += look.refused && !missing ? 1 : 0;
        const std::string device = look.device.empty() || look.device == slot.port
                                       ? ""
                                       : " (" + EscapeName(look.device) + ")";
        t += Row("slot " + slot.label,
                 EscapeName(slot.port) + (missing        ? ": MISSING"
                                          : look.refused ? device + ": cannot be opened: " +
                                                               EscapeName(ReasonOf(*look.refused))
                                                         : ": present" + device));
    }

    plan.outputsOk = true;
    const auto output = [&](const char* name, const std::optional<std::string>& path,
                            const std::string& why) {
        if (!path) {
            return;
        }
        plan.outputsOk = plan.outputsOk && why.empty();
        t += Row(name, EscapeName(*path) + (why.empty() ? "" : ": cannot be written: " + why));
    };
    output("report", job.report, job.report ? ReportWritable(*job.report) : "");
    output("logs", job.logDir, job.logDir ? Writable(*job.logDir, true) : "");
    output("capture", job.capture, job.capture ? Writable(*job.capture, true) : "");
    if (job.mqtt) {
        t += Row("mqtt", EscapeName(*job.mqtt) + " (not contacted by --check)");
    }
    if (job.db) {
        const Result<StoreUrl> db = ParseStoreUrl(*job.db);
        t += Row("database", EscapeName(db ? db->shown : *job.db) + " (not opened by --check)");
    }
    if (job.labelFile && job.printer) {
        // A folder of labels is an output like the logs; a printer is not tried, as no label
        // is due yet.
        const std::string shown = EscapeName(*job.labelFile) + " to " + EscapeName(*job.printer);
        if (job.printer->starts_with("dir:")) {
            const std::string why = Writable(job.printer->substr(4), true);
            plan.outputsOk = plan.outputsOk && why.empty();
            t += Row("label", shown + (why.empty() ? "" : ": cannot be written: " + why));
        } else {
            t += Row("label", shown + " (not contacted by --check)");
        }
    }
    if (job.unit) {
        plan.unitOk = PlanUnit(*job.unit, t);
    }
    if (job.boxId) {
        t += Row("box id", EscapeName(*job.boxId));
    }
    if (job.timeoutSeconds) {
        t += Row("timeout", std::to_string(*job.timeoutSeconds) + " s");
    }
    if (job.baud) {
        t += Row("baud",
                 std::to_string(*job.baud) +
                     (*job.baud == kDefaultBaud ? "" : " (the box's loader must be built for it)"));
    }
    if (job.requireWhole) {
        t += Row("coverage", "whole: a box not sent every byte of the image fails");
    }
    if (job.scan.required) {
        t += Row("scan", "required: a box loads once its label is scanned (" +
                             EscapeName(job.scan.slotPrefix +
                                        (job.slots.empty() ? "A1" : job.slots.front().label)) +
                             " picks a slot)");
    }
    if (job.scan.blockRepeats) {
        t += Row("repeats", "block: a box that passed before gets no byte and fails");
    }
    std::vector<std::string> why;
    if (!plan.imageOk) {
        why.push_back("the image is not the job's");
    }
    if (plan.slotsMissing > 0) {
        why.push_back(std::to_string(plan.slotsMissing) + " slot(s) missing");
    }
    if (plan.slotsRefused > 0) {
        why.push_back(std::to_string(plan.slotsRefused) + " slot(s) cannot be opened");
    }
    if (!plan.outputsOk) {
        why.push_back("an output cannot be written");
    }
    if (!plan.unitOk) {
        why.push_back("the unit pool cannot give a unit");
    }
    if (why.empty()) {
        t += "the job can run: " + std::to_string(job.slots.size()) + " slot(s)\n";
    }
    for (std::size_t i = 0; i < why.size(); ++i) {
        t += (i == 0 ? "the job cannot run: " : "; ") + why[i] + (i + 1 == why.size() ? "\n" : "");
    }
    return plan;
}
