#include "mqtt/WatchedLine.h"

#include "platform/codepage/Utf8.h"
#include "record/Json.h"

namespace {

constexpr std::size_t kMostStations = 1000;
constexpr std::size_t kMostSlots = 256;
constexpr std::size_t kNameBytes = 200;
constexpr std::size_t kReasonBytes = 500;

bool BoxInHand(SlotState state) {
    return state == SlotState::Loading || state == SlotState::Stopping;
}

// An earlier station's slot: the verdict its results gave, while no box is in hand.
void ShowResultVerdict(WatchedSlot& slot) {
    if (!slot.verdictInState) {
        slot.status.last = BoxInHand(slot.status.state) ? std::nullopt : slot.fromResult;
    }
}

// A label as the info's JSON writes it, so that a label that is not UTF-8 still matches.
std::string Written(const std::string& name) {
    return JsonText(name).get<std::string>();
}

}  // namespace

std::vector<WatchedStation::Shown> WatchedStation::ShownSlots() const {
    std::vector<Shown> shown;
    if (!info) {
        for (const auto& [name, slot] : slots) {
            shown.push_back({name, "", &slot});
        }
        return shown;
    }
    std::map<std::string, const WatchedSlot*> byLabel;
    for (const auto& [name, slot] : slots) {
        byLabel.emplace(Written(name), &slot);
    }
    static const WatchedSlot kUnheard;
    for (const StationSlot& listed : info->slots) {
        const auto found = byLabel.find(Written(listed.label));
        shown.push_back(
            {listed.label, listed.port, found != byLabel.end() ? found->second : &kUnheard});
    }
    return shown;
}

WatchedStation* WatchedLine::Station(const std::string& name) {
    const auto found = m_stations.find(name);
    if (found != m_stations.end()) {
        return &found->second;
    }
    return m_stations.size() < kMostStations ? &m_stations[name] : nullptr;
}

WatchedSlot* WatchedLine::Slot(WatchedStation& station, const std::string& name) {
    const auto found = station.slots.find(name);
    if (found != station.slots.end()) {
        return &found->second;
    }
    return station.slots.size() < kMostSlots ? &station.slots[name] : nullptr;
}

const WatchedSlot* WatchedLine::FindSlot(const std::string& station,
                                         const std::string& slot) const {
    const auto s = m_stations.find(station);
    if (s == m_stations.end()) {
        return nullptr;
    }
    const auto found = s->second.slots.find(slot);
    return found != s->second.slots.end() ? &found->second : nullptr;
}

WatchedLine::Change WatchedLine::Apply(const LineMessage& message) {
    WatchedStation* station = Station(message.station);
    if (station == nullptr) {
        return Change::Nothing;
    }
    switch (message.kind) {
        case LineMessage::Kind::Status:
            if (!message.online || station->online == message.online) {
                return Change::Nothing;  // a cleared status, or no change
            }
            station->online = message.online;
            return Change::Station;
        case LineMessage::Kind::Info:
            station->info = message.info;
            return Change::Station;
        case LineMessage::Kind::State:
            break;
        case LineMessage::Kind::Result:
            return Change::Nothing;  // through OnResult
    }
    if (!message.state) {
        // A station clearing a slot it no longer serves.
        return station->slots.erase(message.slot) > 0 ? Change::Station : Change::Nothing;
    }
    const bool known = station->slots.count(message.slot) > 0;
    WatchedSlot* slot = Slot(*station, message.slot);
    if (slot == nullptr) {
        return Change::Nothing;
    }
    const SlotStatusRead& read = *message.state;
    slot->heard = true;
    slot->status = read.status;
    slot->status.slot = message.slot;
    slot->unknownState = read.unknownState;
    slot->verdictInState = read.schema >= 2;
    if (read.status.state == SlotState::Loading) {
        slot->fromResult.reset();  // the next box has begun
    }
    ShowResultVerdict(*slot);
    return known ? Change::Slot : Change::Station;
}

WatchedLine::Change WatchedLine::OnResult(const std::string& stationName,
                                          const std::string& slotName, const BoxRecord& record) {
    WatchedStation* station = Station(stationName);
    WatchedSlot* slot = station != nullptr ? Slot(*station, slotName) : nullptr;
    if (slot == nullptr) {
        return Change::Nothing;
    }
    const bool known = slot->heard;
    slot->status.slot = slotName;
    LastVerdict verdict = VerdictOf(record);
    verdict.reason = CutText(verdict.reason, kReasonBytes);
    verdict.boxId = CutText(verdict.boxId, kNameBytes);
    verdict.reasonCode = CutText(verdict.reasonCode, kNameBytes);
    slot->fromResult = std::move(verdict);
    ShowResultVerdict(*slot);
    return known ? Change::Slot : Change::Station;
}
