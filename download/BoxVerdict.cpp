#include "download/BoxVerdict.h"

#include <algorithm>
#include <filesystem>

#include "platform/ports/PortInfo.h"
#include "record/RecordId.h"
#include "record/SecondsText.h"

namespace {

double Share(std::int64_t part, std::int64_t whole) {
    // An empty image is wholly served by nothing.
    return whole > 0 ? std::clamp(static_cast<double>(part) / static_cast<double>(whole), 0.0, 1.0)
                     : 1.0;
}

// The share of the image the box was really given, in whole per cent.
std::string SentPercent(const SessionFacts& facts) {
    if (facts.imageSize <= 0) {
        return "100";
    }
    // A byte short is not 100 %.
    const std::int64_t most = facts.distinctSent < facts.imageSize ? 99 : 100;
    return std::to_string(
        std::clamp<std::int64_t>(facts.distinctSent * 100 / facts.imageSize, 0, most));
}

// " at 25 % (41 s)": the share of the image the box was really given, and how long it took.
std::string WhereItEnded(const SessionFacts& facts, double seconds) {
    return " at " + SentPercent(facts) + " % (" + SecondsText(seconds) + ")";
}

std::string Reason(const SessionFacts& facts, const DownloadEnded& ended, double seconds) {
    switch (ended.reason) {
        case EndReason::Passed:
            return {};
        case EndReason::PortNotOpened: {
            const std::string why = ended.failure.Describe();
            return why.empty() ? "port could not be opened" : "port could not be opened: " + why;
        }
        case EndReason::PortLost:
            return "port lost" + WhereItEnded(facts, seconds);
        case EndReason::BoxStalled:
            return "box stopped reading" + WhereItEnded(facts, seconds);
        case EndReason::ImageChanged:
            return "image changed during the download";
        case EndReason::BoxSilent:
            return "box silent for " + std::to_string(ended.silence.count()) + " s";
        case EndReason::BoxTalking:
            return "box talking, no request: " + ended.failure.reason;
        case EndReason::OperatorStop:
            return "stopped by the operator";
        case EndReason::UnitNotDelivered:
            return "unit data not delivered";
        case EndReason::NotScanned:
            return "box not scanned";
        case EndReason::UnitPoolEmpty:
        case EndReason::UnitStoreUnreachable:
        case EndReason::BoxMismatch:
        case EndReason::BoxRepeat:
            // Their own words: "unit pool empty: serial", "wrong box in socket: scanned SN1,
            // box says SN2".
            return ended.failure.reason;
        case EndReason::ImageNotWhole:
            return "image not whole: sent " + SentPercent(facts) + " % of it";
        case EndReason::SlotCrashed:
            return (ended.failure.reason.empty() ? std::string("the slot's process ended")
                                                 : ended.failure.reason) +
                   WhereItEnded(facts, seconds);
        case EndReason::StationKilled:
            return "station stopped: no verdict";
    }
    return "unknown end";
}

BoxResult ResultOf(EndReason reason) {
    switch (reason) {
        case EndReason::Passed:
            return BoxResult::Pass;
        case EndReason::OperatorStop:
            return BoxResult::Aborted;
        default:
            return BoxResult::Fail;
    }
}

}  // namespace

BoxSlot SlotOn(const std::string& name, const std::string& device) {
    const StableNames stable = StableNamesOf(device);
    return BoxSlot{name,          device,      AdapterOf(device),
                   stable.byPath, stable.byId, stable.adapterSerial};
}

BoxRecord JudgeSession(const SessionFacts& facts, const DownloadEnded& ended,
                       std::chrono::steady_clock::time_point now) {
    BoxRecord r;
    r.id = NewRecordId();
    r.slot = facts.slot.slot;
    r.device = facts.slot.device;
    r.adapter = facts.slot.adapter;
    r.result = ResultOf(ended.reason);
    r.seconds = std::max(0.0, std::chrono::duration<double>(now - facts.startSteady).count());
    r.reason = Reason(facts, ended, r.seconds);
    r.start = facts.start;
    // The end is the start plus the steady duration: a clock set back mid-box cannot make
    // the end come before the start.
    r.end = facts.start + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                              std::chrono::duration<double>(r.seconds));
    r.bytes = facts.bytesSent;
    r.requests = facts.requests;
    r.coverage = Share(facts.distinctAsked, facts.imageSize);
    r.coverageSent = Share(facts.distinctSent, facts.imageSize);
    // Kept for later reading, when the folder it was given from means nothing any more.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(facts.imagePath, ignored);
    r.image = absolute.empty() ? facts.imagePath : absolute.string();
    r.imageSize = facts.imageSize;
    r.imageSha256 = facts.imageSha256;
    r.boxId = facts.boxId;
    r.byPath = facts.slot.byPath;
    r.byId = facts.slot.byId;
    r.adapterSerial = facts.slot.adapterSerial;
    r.reasonCode = EndReasonCode(ended.reason);
    return r;
}
