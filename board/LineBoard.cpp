#include "board/LineBoard.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "download/SlotState.h"
#include "mqtt/TopicName.h"
#include "station/SlotLook.h"

namespace {

constexpr std::size_t kMostStations = 1000;
constexpr std::size_t kMostSlots = 256;
constexpr std::size_t kNameBytes = 200;
constexpr std::size_t kTextBytes = 300;
constexpr std::size_t kStateBytes = 40;
// A tally beyond any real line's, so that a hostile count stays a plain number on the page.
constexpr std::int64_t kMostBoxes = 1'000'000'000;

Json OptionalText(const std::optional<std::string>& text) {
    return text ? JsonText(CutText(*text, kTextBytes)) : Json(nullptr);
}

// A number as the page may show it: finite, within `low`..`high`; null when missing.
Json Bounded(const Json& object, const char* key, double low, double high) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return nullptr;
    }
    const double value = it->get<double>();
    return std::isfinite(value) ? JsonNumber(std::round(std::clamp(value, low, high)))
                                : Json(nullptr);
}

std::int64_t Count(const Json& object, const char* key) {
    return std::clamp<std::int64_t>(JsonWholeAt(object, key), 0, kMostBoxes);
}

// The label as the info's JSON writes it, so that a label that is not UTF-8 still matches.
std::string Written(const std::string& name) {
    return JsonText(name).get<std::string>();
}

StationInfo CutInfo(StationInfo info) {
    for (std::optional<std::string>* text :
         {&info.job, &info.operatorName, &info.image, &info.imageSha256}) {
        if (*text) {
            **text = CutText(**text, kTextBytes);
        }
    }
    info.version = CutText(info.version, kNameBytes);
    info.started = CutText(info.started, kNameBytes);
    if (info.slots.size() > kMostSlots) {
        info.slots.resize(kMostSlots);
    }
    for (StationSlot& slot : info.slots) {
        slot.label = CutText(slot.label, kNameBytes);
        slot.port = CutText(slot.port, kTextBytes);
    }
    return info;
}

}  // namespace

std::optional<BoardTopic> ParseBoardTopic(const std::string& topic) {
    const std::vector<std::string> levels = TopicLevels(topic);
    if (levels.size() < 3 || levels.size() > 4 || levels[0] != "stavel") {
        return std::nullopt;
    }
    std::optional<std::string> station = DecodeTopicLevel(levels[1]);
    if (!station || station->empty()) {
        return std::nullopt;
    }
    BoardTopic parsed;
    parsed.station = CutText(*station, kNameBytes);
    if (levels.size() == 3) {
        if (levels[2] != "status" && levels[2] != "info") {
            return std::nullopt;
        }
        parsed.kind = levels[2] == "status" ? BoardTopic::Kind::Status : BoardTopic::Kind::Info;
        return parsed;
    }
    const std::optional<std::string> slot = DecodeTopicLevel(levels[2]);
    if (!slot || slot->empty() || (levels[3] != "state" && levels[3] != "result")) {
        return std::nullopt;
    }
    parsed.slot = CutText(*slot, kNameBytes);
    parsed.kind = levels[3] == "state" ? BoardTopic::Kind::State : BoardTopic::Kind::Result;
    return parsed;
}

LineBoard::Station* LineBoard::Find(const std::string& name) {
    const auto found = m_stations.find(name);
    if (found != m_stations.end()) {
        return &found->second;
    }
    return m_stations.size() < kMostStations ? &m_stations[name] : nullptr;
}

LineBoard::Slot* LineBoard::FindSlot(Station& station, const std::string& slot) {
    const auto found = station.slots.find(slot);
    if (found != station.slots.end()) {
        return &found->second;
    }
    return station.slots.size() < kMostSlots ? &station.slots[slot] : nullptr;
}

std::optional<LineBoard::Event> LineBoard::OnMessage(const BoardTopic& topic,
                                                     const std::string& payload) {
    Station* station = Find(topic.station);
    if (station == nullptr) {
        return std::nullopt;
    }
    switch (topic.kind) {
        case BoardTopic::Kind::Status: {
            if (payload.empty()) {
                return std::nullopt;  // a retained status cleared
            }
            const bool online = payload == "online";
            if (station->online == online) {
                return std::nullopt;
            }
            station->online = online;
            break;
        }
        case BoardTopic::Kind::Info: {
            const std::optional<StationInfo> info = ParseStationInfo(payload);
            station->info = info ? std::optional(CutInfo(*info)) : std::nullopt;
            break;
        }
        case BoardTopic::Kind::State: {
            if (payload.empty()) {
                // A station clearing a slot it no longer serves.
                if (station->slots.erase(topic.slot) == 0) {
                    return std::nullopt;
                }
                break;
            }
            const bool known = station->slots.count(topic.slot) > 0;
            Slot* slot = FindSlot(*station, topic.slot);
            if (slot == nullptr) {
                return std::nullopt;
            }
            const Json fields = ParseJsonObject(payload).value_or(Json::object());
            slot->state = CutText(JsonStringAt(fields, "state"), kStateBytes);
            slot->percent = Bounded(fields, "percent", 0, 100);
            slot->rate = Bounded(fields, "rate", 0, 1e12);
            slot->eta = Bounded(fields, "eta", 0, 1e9);
            slot->passes = Count(fields, "passes");
            slot->fails = Count(fields, "fails");
            slot->aborts = Count(fields, "aborts");
            if (!known) {
                break;  // a new tile: the whole station
            }
            return SlotEvent(topic.station, topic.slot);
        }
        case BoardTopic::Kind::Result:
            return std::nullopt;  // through OnResult, once the history has judged it new
    }
    return Event{"station", StationJson(topic.station, *station)};
}

std::optional<LineBoard::Event> LineBoard::OnResult(const HistoryResult& result) {
    Station* station = Find(result.station);
    Slot* slot = station != nullptr ? FindSlot(*station, result.slot) : nullptr;
    if (slot == nullptr) {
        return std::nullopt;
    }
    slot->last = result;
    return Event{"result", HistoryJson(result)};
}

namespace {

// How the slot looks on the page: the desktop station's word, symbol and tone (SlotLook.h).
Json LookJson(const std::string& name, const std::string& code, const Json& percent,
              const Json& eta, std::int64_t passes, std::int64_t fails, std::int64_t aborts,
              const std::optional<HistoryResult>& last) {
    static const char* const kTones[] = {"idle", "busy", "pass", "fail", "warn"};
    SlotStatus status;
    status.slot = name;
    const bool known = SlotStateFromCode(code, &status.state);
    status.figures.percent = percent.is_number() ? percent.get<int>() : 0;
    if (eta.is_number()) {
        status.figures.etaSeconds = eta.get<double>();
    }
    status.passes = static_cast<int>(passes);
    status.fails = static_cast<int>(fails);
    status.aborts = static_cast<int>(aborts);
    if (last) {
        status.lastResult = last->result;
        status.reason = last->reason;
        status.boxId = last->boxId;
    }
    SlotLook look = LookOf(status);
    if (!known) {
        // A state this version does not know: its word as it came, and no verdict made of it.
        SlotLook unknown;
        unknown.word = code;
        if (unknown.word.empty()) {
            unknown.word = "?";
        }
        unknown.symbol = "?";
        look = std::move(unknown);
    }
    return Json{{"word", JsonText(look.word)},
                {"symbol", look.symbol},
                {"tone", kTones[static_cast<int>(look.tone)]},
                {"bar", look.bar},
                {"percent", look.percent},
                {"progress", JsonText(look.progress)},
                {"box_id", JsonText(look.boxId)},
                {"detail", JsonText(look.detail)},
                {"counts", look.counts}};
}

}  // namespace

std::optional<LineBoard::Event> LineBoard::SlotEvent(const std::string& stationName,
                                                     const std::string& slotName) const {
    const auto station = m_stations.find(stationName);
    if (station == m_stations.end() || station->second.slots.count(slotName) == 0) {
        return std::nullopt;
    }
    std::string port;
    for (const StationSlot& listed :
         station->second.info ? station->second.info->slots : std::vector<StationSlot>()) {
        port = Written(listed.label) == Written(slotName) ? listed.port : port;
    }
    return Event{"slot",
                 Json{{"station", JsonText(stationName)},
                      {"slot", SlotJson(slotName, port, station->second.slots.at(slotName))}}};
}

Json LineBoard::SlotJson(const std::string& name, const std::string& port, const Slot& slot) {
    SlotState state{};
    const bool known = SlotStateFromCode(slot.state, &state);
    return Json{
        {"name", JsonText(name)},
        {"port", port.empty() ? Json(nullptr) : JsonText(port)},
        {"state", slot.state.empty() ? Json(nullptr) : JsonText(slot.state)},
        {"words", known ? Json(SlotStateWords(state)) : JsonText(slot.state)},
        {"percent", slot.percent},
        {"rate", slot.rate},
        {"eta", slot.eta},
        {"passes", slot.passes},
        {"fails", slot.fails},
        {"aborts", slot.aborts},
        {"last", slot.last ? HistoryJson(*slot.last) : Json(nullptr)},
        {"look", LookJson(name, slot.state, slot.percent, slot.eta, slot.passes, slot.fails,
                          slot.aborts, slot.last)},
    };
}

Json LineBoard::StationJson(const std::string& name, const Station& station) const {
    Json slots = Json::array();
    std::int64_t passes = 0;
    std::int64_t fails = 0;
    std::int64_t aborts = 0;
    const auto add = [&](const std::string& label, const std::string& port, const Slot& slot) {
        slots.push_back(SlotJson(label, port, slot));
        passes += slot.passes;
        fails += slot.fails;
        aborts += slot.aborts;
    };
    if (station.info) {
        std::map<std::string, const Slot*> byLabel;
        for (const auto& [slotName, slot] : station.slots) {
            byLabel.emplace(Written(slotName), &slot);
        }
        static const Slot kUnheard;
        for (const StationSlot& listed : station.info->slots) {
            const auto found = byLabel.find(Written(listed.label));
            add(listed.label, listed.port, found != byLabel.end() ? *found->second : kUnheard);
        }
    } else {
        for (const auto& [slotName, slot] : station.slots) {
            add(slotName, "", slot);
        }
    }
    const StationInfo* info = station.info ? &*station.info : nullptr;
    return Json{
        {"name", JsonText(name)},
        {"online", station.online ? Json(*station.online) : Json(nullptr)},
        {"version", info ? JsonText(info->version) : Json(nullptr)},
        {"started", info ? JsonText(info->started) : Json(nullptr)},
        {"job", info ? OptionalText(info->job) : Json(nullptr)},
        {"operator", info ? OptionalText(info->operatorName) : Json(nullptr)},
        {"image", info ? OptionalText(info->image) : Json(nullptr)},
        {"image_sha256", info ? OptionalText(info->imageSha256) : Json(nullptr)},
        {"passes", passes},
        {"fails", fails},
        {"aborts", aborts},
        {"slots", std::move(slots)},
    };
}

Json LineBoard::Stations() const {
    Json stations = Json::array();
    for (const auto& [name, station] : m_stations) {
        stations.push_back(StationJson(name, station));
    }
    return stations;
}
