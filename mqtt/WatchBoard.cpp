#include "mqtt/WatchBoard.h"

#include <algorithm>
#include <cstdio>

#include "download/SlotState.h"
#include "download/SlotStatus.h"
#include "mqtt/StationInfo.h"
#include "mqtt/TopicName.h"
#include "platform/codepage/ShownText.h"
#include "record/Json.h"
#include "station/ColumnText.h"

namespace {

// The table's columns, in characters; one space after each.
constexpr std::size_t kSlotWidth = 31;
constexpr std::size_t kStateWidth = 8;
constexpr std::size_t kPercentWidth = 4;
constexpr std::size_t kRateWidth = 10;
constexpr std::size_t kEtaWidth = 6;
constexpr std::size_t kCountWidth = 5;
constexpr std::size_t kLastWidth = 40;
constexpr std::size_t kStationWidth = 40;
// A name or reason on a line of its own (not on a terminal): long, but still bounded.
constexpr std::size_t kLineFieldWidth = 120;
// A tally beyond any real line's, so that the sums stay far from overflowing.
constexpr std::int64_t kMostBoxes = 1'000'000'000;

// `raw` escaped and cut to `width` characters, ending in "…" when cut. Only its first bytes are
// looked at: 4 * width + 4 bytes hold more than `width` characters.
std::string Cut(const std::string& raw, std::size_t width) {
    std::string text = Column(EscapeName(std::string_view(raw).substr(0, 4 * width + 4)), width);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string Pad(const std::string& shown, std::size_t width) {
    return Column(shown, width) + " ";
}

// A field as the table shows it: a string's text, a number as written, "-" for null or none.
std::string Field(const Json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end() || it->is_null()) {
        return "-";
    }
    return it->is_string() ? it->get<std::string>() : JsonLine(*it);
}

std::int64_t Count(const Json& json, const char* key) {
    return std::clamp<std::int64_t>(JsonWholeAt(json, key), 0, kMostBoxes);
}

std::string Written(const std::string& name) {
    return JsonText(name).get<std::string>();
}

std::string ShownYield(std::int64_t passes, std::int64_t fails) {
    if (passes + fails == 0) {
        return "yield -";
    }
    // YieldOf counts in int: a huge tally is halved, which keeps its share.
    while (passes + fails > 1'000'000'000) {
        passes /= 2;
        fails /= 2;
    }
    char text[32];
    std::snprintf(text, sizeof text, "yield %.0f%%",
                  YieldOf(static_cast<int>(passes), static_cast<int>(fails)) * 100);
    return text;
}

}  // namespace

std::vector<std::string> WatchBoard::OnMessage(const std::string& topic,
                                               const std::string& payload) {
    const std::vector<std::string> levels = TopicLevels(topic);
    if (levels.size() < 3 || levels[0] != "stavel") {
        return {};
    }
    const std::optional<std::string> station = DecodeTopicLevel(levels[1]);
    if (!station) {
        return {};
    }
    const std::string shownStation = Cut(*station, kLineFieldWidth);
    std::vector<std::string> lines;
    if (levels.size() == 3 && levels[2] == "status") {
        if (payload.empty()) {
            return {};  // a retained status cleared
        }
        const bool online = payload == "online";
        Station& entry = m_stations[*station];
        if (entry.online != online) {
            entry.online = online;
            m_changed = true;
            lines.push_back(shownStation + (online ? " online" : " OFFLINE"));
        }
        return lines;
    }
    if (levels.size() == 3 && levels[2] == "info") {
        Station& entry = m_stations[*station];
        entry.listed.reset();
        entry.about.clear();
        if (const std::optional<StationInfo> info = ParseStationInfo(payload)) {
            entry.listed.emplace();
            for (const StationSlot& slot : info->slots) {
                const std::string name =
                    slot.port == slot.label ? slot.label : slot.label + " " + slot.port;
                entry.listed->emplace_back(Written(slot.label), Cut(name, kSlotWidth));
            }
            entry.about = "stavel " + Cut(info->version, 16) + " since " + Cut(info->started, 24);
        }
        m_changed = true;
        return {};
    }
    if (levels.size() != 4) {
        return {};
    }
    const std::optional<std::string> slot = DecodeTopicLevel(levels[2]);
    if (!slot) {
        return {};
    }
    if (payload.empty()) {
        // A station clearing a slot it no longer serves: no result, and no state to show.
        if (levels[3] == "state") {
            m_changed = m_stations[*station].slots.erase(*slot) > 0 || m_changed;
        }
        return {};
    }
    const Json fields = ParseJsonObject(payload).value_or(Json::object());
    SlotRow& row = m_stations[*station].slots[*slot];
    m_changed = true;
    if (levels[3] == "state") {
        // A station's fixed word in the table's few; an unknown word as it came.
        const std::string state = Field(fields, "state");
        SlotState known{};
        row.state = SlotStateFromCode(state, &known) ? std::string(SlotStateWords(known))
                                                     : Cut(state, kStateWidth);
        row.percent = Cut(Field(fields, "percent"), kPercentWidth);
        row.rate = Cut(ShownRate(JsonNumberAt(fields, "rate")), kRateWidth);
        row.eta = Cut(Field(fields, "eta"), kEtaWidth);
        row.passes = Count(fields, "passes");
        row.fails = Count(fields, "fails");
    } else if (levels[3] == "result") {
        const std::string result = Field(fields, "result");
        const std::string word = result == "pass"      ? "PASS"
                                 : result == "aborted" ? "ABORTED "
                                                       : "FAIL ";
        const std::string reason = result == "pass" ? "" : Field(fields, "reason");
        row.last = Cut(word + reason, kLastWidth);
        lines.push_back(shownStation + " " + Cut(*slot, kLineFieldWidth) + " " + word +
                        Cut(reason, kLineFieldWidth) +
                        " id=" + Cut(Field(fields, "id"), kLineFieldWidth));
    }
    return lines;
}

std::string WatchBoard::Table() const {
    std::string text = Pad("STATION / SLOT", kSlotWidth + 2) + Pad("STATE", kStateWidth) +
                       Pad("%", kPercentWidth) + Pad("RATE", kRateWidth) + Pad("ETA S", kEtaWidth) +
                       Pad("PASS", kCountWidth) + Pad("FAIL", kCountWidth) + "LAST\n";
    std::int64_t passes = 0;
    std::int64_t fails = 0;
    int online = 0;
    for (const auto& [name, station] : m_stations) {
        // The rows shown: the slots the info lists, in its order; without one, every slot heard.
        std::vector<std::pair<std::string, const SlotRow*>> rows;
        if (station.listed) {
            std::map<std::string, const SlotRow*> byLabel;
            for (const auto& [slot, row] : station.slots) {
                byLabel.emplace(Written(slot), &row);
            }
            static const SlotRow kUnheard;
            for (const auto& [label, shown] : *station.listed) {
                const auto found = byLabel.find(label);
                rows.emplace_back(shown, found != byLabel.end() ? found->second : &kUnheard);
            }
        } else {
            for (const auto& [slot, row] : station.slots) {
                rows.emplace_back(Cut(slot, kSlotWidth), &row);
            }
        }
        std::int64_t stationPasses = 0;
        std::int64_t stationFails = 0;
        std::string lines;
        for (const auto& [shown, row] : rows) {
            lines += "  " + Pad(shown, kSlotWidth) + Pad(row->state, kStateWidth) +
                     Pad(row->percent, kPercentWidth) + Pad(row->rate, kRateWidth) +
                     Pad(row->eta, kEtaWidth) + Pad(std::to_string(row->passes), kCountWidth) +
                     Pad(std::to_string(row->fails), kCountWidth) + row->last + "\n";
            stationPasses += row->passes;
            stationFails += row->fails;
        }
        const bool isOnline = station.online.value_or(false);
        online += isOnline ? 1 : 0;
        text += Cut(name, kStationWidth) +
                (station.online ? (isOnline ? "" : "  ** OFFLINE **") : "  (status unknown)") +
                (station.about.empty() ? "" : "  " + station.about) + "  " +
                ShownYield(stationPasses, stationFails) + "\n" + lines;
        passes += stationPasses;
        fails += stationFails;
    }
    text += "\n" + std::to_string(m_stations.size()) + " station(s), " + std::to_string(online) +
            " online; " + std::to_string(passes) + " passed, " + std::to_string(fails) +
            " failed\n";
    return text;
}
