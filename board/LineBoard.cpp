#include "board/LineBoard.h"

#include <cmath>

#include "download/SlotStatusCodec.h"
#include "station/SlotLook.h"

namespace {

Json OptionalText(const std::optional<std::string>& text) {
    return text ? JsonText(*text) : Json(nullptr);
}

Json YieldJson(int passes, int fails) {
    const std::optional<double> yield = YieldOf(passes, fails);
    return yield ? JsonNumber(std::round(*yield * 1000) / 1000) : Json(nullptr);
}

// How the slot looks on the page: the desktop station's word, symbol, tone and notes.
Json LookJson(const WatchedSlot& slot) {
    static const char* const kTones[] = {"idle", "busy", "pass", "fail", "warn"};
    SlotLook look = LookOf(slot.status);
    if (!slot.heard || !slot.unknownState.empty()) {
        // A state this version does not know: its word as it came, and nothing made of it but
        // a verdict the state carries.
        const std::string word = slot.heard ? slot.unknownState : "?";
        if (slot.status.last) {
            look.note = word;
        } else {
            SlotLook unknown;
            unknown.word = word;
            unknown.symbol = std::string(1, '?');  // GCC 12 warns, wrongly, at a "?" assigned
            unknown.counts = look.counts;
            look = std::move(unknown);
        }
    }
    return Json{{"word", JsonText(look.word)},
                {"symbol", look.symbol},
                {"tone", kTones[static_cast<int>(look.tone)]},
                {"bar", look.bar},
                {"percent", look.percent},
                {"progress", JsonText(look.progress)},
                {"box_id", JsonText(look.boxId)},
                {"detail", JsonText(look.detail)},
                {"note", JsonText(look.note)},
                {"scan", JsonText(look.scan)},
                {"scan_next", look.scanNext},
                {"counts", look.counts}};
}

Json SlotJson(const std::string& name, const std::string& port, const WatchedSlot& slot) {
    const SlotStatus& s = slot.status;
    const ProgressFigures& f = s.figures;
    const bool known = slot.heard && slot.unknownState.empty();
    const auto figure = [&slot](const Json& value) { return slot.heard ? value : Json(nullptr); };
    Json eta = nullptr;
    if (f.etaSeconds) {
        eta = JsonNumber(std::round(*f.etaSeconds));
    }
    Json problem = nullptr;
    if (s.port) {
        problem =
            Json{{"trouble", PortTroubleWord(s.port->trouble)}, {"text", JsonText(s.port->text)}};
    }
    return Json{
        {"name", JsonText(name)},
        {"port", port.empty() ? Json(nullptr) : JsonText(port)},
        {"state", !slot.heard ? Json(nullptr)
                  : known     ? Json(SlotStateCode(s.state))
                              : JsonText(slot.unknownState)},
        {"words", known ? Json(SlotStateWords(s.state)) : JsonText(slot.unknownState)},
        {"percent", figure(f.percent)},
        {"rate", figure(JsonNumber(std::round(f.rate)))},
        {"eta", figure(eta)},
        {"stalled", f.stalledSeconds ? Json(*f.stalledSeconds) : Json(nullptr)},
        {"passes", s.passes},
        {"fails", s.fails},
        {"aborts", s.aborts},
        {"last", s.last ? LastVerdictJson(*s.last) : Json(nullptr)},
        {"port_problem", std::move(problem)},
        {"hint", s.hint.empty() ? Json(nullptr) : JsonText(s.hint)},
        {"look", LookJson(slot)},
    };
}

}  // namespace

std::optional<LineBoard::Event> LineBoard::OnMessage(const LineMessage& message) {
    switch (m_line.Apply(message)) {
        case WatchedLine::Change::Nothing:
            return std::nullopt;
        case WatchedLine::Change::Slot:
            return SlotEvent(message.station, message.slot);
        case WatchedLine::Change::Station:
            break;
    }
    const auto station = m_line.Stations().find(message.station);
    if (station == m_line.Stations().end()) {
        return std::nullopt;
    }
    return Event{"station", StationJson(station->first, station->second)};
}

std::optional<LineBoard::Event> LineBoard::OnResult(const HistoryResult& result,
                                                    const BoxRecord& record) {
    if (m_line.OnResult(result.station, result.slot, record) == WatchedLine::Change::Nothing) {
        return std::nullopt;
    }
    return Event{"result", HistoryJson(result)};
}

std::optional<LineBoard::Event> LineBoard::SlotEvent(const std::string& stationName,
                                                     const std::string& slotName) const {
    const auto station = m_line.Stations().find(stationName);
    const WatchedSlot* slot = m_line.FindSlot(stationName, slotName);
    if (station == m_line.Stations().end() || slot == nullptr) {
        return std::nullopt;
    }
    std::string port;
    for (const WatchedStation::Shown& shown : station->second.ShownSlots()) {
        port = shown.slot == slot ? shown.port : port;
    }
    return Event{"slot", Json{{"station", JsonText(stationName)},
                              {"slot", SlotJson(slotName, port, *slot)}}};
}

Json LineBoard::StationJson(const std::string& name, const WatchedStation& station) const {
    Json slots = Json::array();
    int passes = 0;
    int fails = 0;
    int aborts = 0;
    int firstPasses = 0;
    for (const WatchedStation::Shown& shown : station.ShownSlots()) {
        slots.push_back(SlotJson(shown.label, shown.port, *shown.slot));
        // At most a billion each (the codec's bound), 256 slots a station: kept below overflow.
        const auto add = [](int& sum, int more) {
            sum = static_cast<int>(
                std::min<long long>(static_cast<long long>(sum) + more, 2'000'000'000));
        };
        add(passes, shown.slot->status.passes);
        add(fails, shown.slot->status.fails);
        add(aborts, shown.slot->status.aborts);
        add(firstPasses, shown.slot->status.firstPasses);
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
        {"yield", YieldJson(passes, fails)},
        {"first_passes", firstPasses},
        {"first_pass_yield",
         YieldJson(std::min(firstPasses, passes), passes + fails - std::min(firstPasses, passes))},
        {"dropped", station.dropped},
        {"slots", std::move(slots)},
    };
}

std::string LineBoard::StationsLine() const {
    std::string line = "[";
    for (const auto& [name, station] : m_line.Stations()) {
        if (line.size() > 1) {
            line += ',';
        }
        line += JsonLine(StationJson(name, station));
    }
    return line + "]";
}
