#include "download/SessionEvents.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<EndReason, const char*>, 17> kCodes{{
    {EndReason::Passed, "passed"},
    {EndReason::PortNotOpened, "port-not-opened"},
    {EndReason::PortLost, "port-lost"},
    {EndReason::BoxStalled, "box-stalled"},
    {EndReason::ImageChanged, "image-changed"},
    {EndReason::BoxSilent, "box-silent"},
    {EndReason::BoxTalking, "box-talking"},
    {EndReason::OperatorStop, "operator-stop"},
    {EndReason::SlotCrashed, "slot-crashed"},
    {EndReason::StationKilled, "station-killed"},
    {EndReason::ImageNotWhole, "image-not-whole"},
    {EndReason::UnitNotDelivered, "unit-not-delivered"},
    {EndReason::UnitPoolEmpty, "unit-pool-empty"},
    {EndReason::UnitStoreUnreachable, "unit-store-unreachable"},
    {EndReason::NotScanned, "not-scanned"},
    {EndReason::BoxMismatch, "box-mismatch"},
    {EndReason::BoxRepeat, "box-repeat"},
}};

}  // namespace

const char* EndReasonCode(EndReason reason) {
    for (const auto& [r, code] : kCodes) {
        if (r == reason) {
            return code;
        }
    }
    return "failed";
}

bool EndReasonFromCode(std::string_view code, EndReason* reason) {
    for (const auto& [r, name] : kCodes) {
        if (code == name) {
            *reason = r;
            return true;
        }
    }
    return false;
}

const char* NoRequestHint(bool mostlyNotText) {
    return mostlyNotText ? "wrong line speed or wrong port?" : "is it in download mode?";
}

void DownloadObservers::Add(DownloadObserver* observer) {
    if (observer != nullptr && !Has(observer)) {
        m_observers.push_back(observer);
    }
}

void DownloadObservers::Remove(DownloadObserver* observer) {
    std::erase(m_observers, observer);
}

bool DownloadObservers::Has(const DownloadObserver* observer) const {
    return std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end();
}
