#include "mqtt/WatchedLine.h"

#include <set>

#include "platform/codepage/ShownText.h"
#include "platform/codepage/Utf8.h"
#include "record/Json.h"

namespace {

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

// A name from the broker as a line for the operator shows it.
std::string Shown(const std::string& name) {
    return "'" + EscapeName(name) + "'";
}

std::set<std::string> HeardNames(const WatchedStation& station) {
    std::set<std::string> heard;
    for (const auto& [name, slot] : station.slots) {
        heard.insert(Written(name));
    }
    return heard;
}

std::size_t Held(const WatchedStation& station) {
    std::size_t held = station.slots.size();
    if (station.info && !station.info->slots.empty()) {
        const std::set<std::string> heard = HeardNames(station);
        std::set<std::string> listed;
        for (const StationSlot& slot : station.info->slots) {
            const std::string label = Written(slot.label);
            held += heard.count(label) == 0 && listed.insert(label).second ? 1 : 0;
        }
    }
    return held;
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

void WatchedLine::Say(const std::string& line) const {
    if (m_say) {
        m_say(line);
    }
}

WatchedStation* WatchedLine::Station(const std::string& name) {
    const auto found = m_stations.find(name);
    if (found != m_stations.end()) {
        return &found->second;
    }
    if (m_stations.size() < kMostStations) {
        return &m_stations[name];
    }
    ++m_drops.stations;
    if (!m_toldStations) {
        m_toldStations = true;
        Say("MQTT: the line has more than " + std::to_string(kMostStations) +
            " stations: " + Shown(name) + " and every further new station are ignored");
    }
    return nullptr;
}

void WatchedLine::Recount(WatchedStation& station) {
    const std::size_t held = Held(station);
    m_slotsInAll = m_slotsInAll - station.held + held;
    station.held = held;
}

void WatchedLine::DropSlots(const std::string& stationName, WatchedStation& station,
                            const std::string& slot, std::uint64_t count) {
    m_drops.slots += count;
    station.dropped += count;
    if (station.held >= kMostSlots) {
        if (!station.toldSlots) {
            station.toldSlots = true;
            Say("MQTT: station " + Shown(stationName) + " has more than " +
                std::to_string(kMostSlots) + " slots: " + Shown(slot) +
                " and every further new one are ignored");
        }
    } else if (!m_toldSlotsInAll) {
        m_toldSlotsInAll = true;
        Say("MQTT: the line has more than " + std::to_string(kMostSlotsInAll) + " slots: slot " +
            Shown(slot) + " of station " + Shown(stationName) +
            " and every further new slot are ignored");
    }
}

WatchedSlot* WatchedLine::Slot(const std::string& stationName, WatchedStation& station,
                               const std::string& name) {
    const auto found = station.slots.find(name);
    if (found != station.slots.end()) {
        return &found->second;
    }
    // A slot its info lists is held already; any other needs room.
    const bool listed = station.info && ListsSlot(*station.info, name);
    const auto full = [&] { return station.held > kMostSlots || m_slotsInAll > kMostSlotsInAll; };
    if (!listed && (station.held + 1 > kMostSlots || m_slotsInAll + 1 > kMostSlotsInAll)) {
        DropSlots(stationName, station, name, 1);
        return nullptr;
    }
    WatchedSlot* slot = &station.slots[name];
    Recount(station);
    if (full()) {
        station.slots.erase(name);
        Recount(station);
        DropSlots(stationName, station, name, 1);
        return nullptr;
    }
    return slot;
}

void WatchedLine::TakeInfo(const std::string& name, WatchedStation& station,
                           std::optional<StationInfo> info) {
    station.info = std::move(info);
    Recount(station);
    if (!station.info) {
        return;
    }
    // Listed past the bounds: the first slots it lists are kept. Each listed slot not heard
    // cut from its end gives back one.
    std::size_t excess =
        std::max(station.held > kMostSlots ? station.held - kMostSlots : 0,
                 m_slotsInAll > kMostSlotsInAll ? m_slotsInAll - kMostSlotsInAll : 0);
    if (excess == 0) {
        return;
    }
    const std::set<std::string> heard = HeardNames(station);
    std::vector<StationSlot>& listed = station.info->slots;
    std::uint64_t cut = 0;
    std::string first;
    const auto cutLast = [&] {
        first = listed.back().label;
        listed.pop_back();
        ++cut;
    };
    while (excess > 0 && !listed.empty()) {
        excess -= heard.count(Written(listed.back().label)) == 0 ? 1 : 0;
        cutLast();
    }
    Recount(station);
    // A label listed twice gave nothing back: one at a time until it fits.
    while ((station.held > kMostSlots || m_slotsInAll > kMostSlotsInAll) && !listed.empty()) {
        cutLast();
        Recount(station);
    }
    DropSlots(name, station, first, cut);
}

void WatchedLine::DropOverBound(const LineMessage& message, WatchedStation& station) {
    ++m_drops.overBound;
    ++station.dropped;
    if (!station.toldOverBound) {
        station.toldOverBound = true;
        static const char* const kWhat[] = {"status", "info", "state", "result"};
        const std::string what = kWhat[static_cast<int>(message.kind)];
        Say("MQTT: station " + Shown(message.station) + " sent " +
            (message.slot.empty() ? "an " + what
                                  : "a " + what + " of slot " + Shown(message.slot)) +
            " larger than " + std::to_string(kJsonMaxBytes >> 20) + " MiB or nested deeper than " +
            std::to_string(kJsonMaxDepth) + ": dropped, as is every further one of the station");
    }
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
    // A station's first drop changes what it shows (the board's card says so); later ones only
    // count.
    const auto dropped = [station] {
        return station->dropped == 1 ? Change::Station : Change::Nothing;
    };
    if (message.overBound) {
        DropOverBound(message, *station);
        return dropped();
    }
    switch (message.kind) {
        case LineMessage::Kind::Status:
            if (!message.online || station->online == message.online) {
                return Change::Nothing;  // a cleared status, or no change
            }
            station->online = message.online;
            return Change::Station;
        case LineMessage::Kind::Info:
            TakeInfo(message.station, *station, message.info);
            return Change::Station;
        case LineMessage::Kind::State:
            break;
        case LineMessage::Kind::Result:
            return Change::Nothing;  // through OnResult
    }
    if (!message.state) {
        // A station clearing a slot it no longer serves.
        if (station->slots.erase(message.slot) == 0) {
            return Change::Nothing;
        }
        Recount(*station);
        return Change::Station;
    }
    const bool known = station->slots.count(message.slot) > 0;
    WatchedSlot* slot = Slot(message.station, *station, message.slot);
    if (slot == nullptr) {
        return dropped();
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
    WatchedSlot* slot = station != nullptr ? Slot(stationName, *station, slotName) : nullptr;
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
