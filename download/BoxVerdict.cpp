#include "download/BoxVerdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "download/DownloadProgress.h"
#include "download/DownloadState.h"
#include "download/RecordId.h"
#include "platform/ports/PortInfo.h"

namespace {

double SecondsBetween(std::chrono::steady_clock::time_point from,
                      std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// " at 25 % (41 s)": how far the bar had come and how long the box had taken.
std::string WhereItEnded(const DownloadState& state, double seconds) {
    const std::int64_t percent = std::clamp<std::int64_t>(
        ProgressPosition(state.m_nOffset, state.m_nImageSize) / 100, 0, 100);
    char text[64];
    std::snprintf(text, sizeof text, " at %lld %% (%.0f s)", static_cast<long long>(percent),
                  std::floor(seconds));
    return text;
}

std::string Reason(BoxEnd end, const DownloadState& state, const BoxEndDetail& detail,
                   double seconds) {
    switch (end) {
        case BoxEnd::Passed:
            return {};
        case BoxEnd::PortNotOpened:
            return detail.openError.empty() ? "port could not be opened"
                                            : "port could not be opened: " + detail.openError;
        case BoxEnd::PortLost:
            return "port lost" + WhereItEnded(state, seconds);
        case BoxEnd::BoxStalled:
            return "box stopped reading" + WhereItEnded(state, seconds);
        case BoxEnd::ImageChanged:
            return "image changed during the download";
        case BoxEnd::BoxSilent:
            return "box silent for " + std::to_string(detail.silence.count()) + " s";
        case BoxEnd::OperatorStop:
            return "stopped by the operator";
    }
    return "unknown end";
}

}  // namespace

std::optional<BoxEnd> BoxEndForEvent(DownloadEvent event) {
    switch (event) {
        case DownloadEvent::BoxFinished:
            return BoxEnd::Passed;
        case DownloadEvent::PortLost:
            return BoxEnd::PortLost;
        case DownloadEvent::BoxStalled:
            return BoxEnd::BoxStalled;
        case DownloadEvent::ImageChanged:
            return BoxEnd::ImageChanged;
        case DownloadEvent::BoxSilent:
            return BoxEnd::BoxSilent;
        case DownloadEvent::Started:
        case DownloadEvent::ConnectFailed:
            return std::nullopt;
    }
    return std::nullopt;
}

int ExitStatusFor(BoxEnd end, int operatorStatus) {
    switch (end) {
        case BoxEnd::Passed:
            return kExitPass;
        case BoxEnd::PortNotOpened:
            return kExitPortFailed;
        case BoxEnd::PortLost:
            return kExitPortLost;
        case BoxEnd::BoxStalled:
            return kExitBoxStalled;
        case BoxEnd::ImageChanged:
            return kExitImageChanged;
        case BoxEnd::BoxSilent:
            return kExitBoxSilent;
        case BoxEnd::OperatorStop:
            return operatorStatus;
    }
    return kExitSomeBoxFailed;
}

BoxRecord JudgeBox(const BoxSlot& slot, const DownloadState& state, BoxEnd end,
                   const BoxEndDetail& detail, std::chrono::steady_clock::time_point now) {
    const DownloadTally& tally = state.m_tally;
    BoxRecord r;
    r.id = NewRecordId();
    r.slot = slot.slot;
    r.device = slot.device;
    r.adapter = slot.adapter;
    r.pass = end == BoxEnd::Passed;
    r.seconds = std::max(0.0, SecondsBetween(tally.startedSteady, now));
    r.reason = Reason(end, state, detail, r.seconds);
    r.start = tally.started;
    // The end is the start plus the steady duration: a clock set back mid-box cannot make
    // the end come before the start.
    r.end = tally.started + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                std::chrono::duration<double>(r.seconds));
    r.bytes = tally.bytesSent;
    r.requests = tally.requests;
    r.coverage = tally.coverage.Fraction(state.m_nImageSize);
    // Kept for later reading, when the folder it was given from means nothing any more.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(state.m_strImagePath, ignored);
    r.image = absolute.empty() ? state.m_strImagePath : absolute.string();
    r.imageSize = state.m_nImageSize;
    r.imageSha256 = state.m_imageSha256;
    return r;
}

std::string VerdictLine(const std::string& port, const BoxRecord& record) {
    if (!record.pass) {
        return port + ": FAIL " + record.reason;
    }
    char text[96];
    std::snprintf(text, sizeof text, ": PASS %lld bytes in %.1f s, sha256 %.12s\xE2\x80\xA6",
                  static_cast<long long>(record.bytes), record.seconds, record.imageSha256.c_str());
    return port + text;
}

std::optional<std::string> AdapterOf(const std::string& devicePath) {
    UsbIdentity usb;
    if (!ReadUsbIdentity(devicePath, "/sys", &usb) || usb.vendorId.empty()) {
        return std::nullopt;
    }
    std::string adapter = usb.vendorId + ":" + usb.productId;
    if (!usb.serialNumber.empty()) {
        adapter += " " + usb.serialNumber;
    }
    return adapter;
}
