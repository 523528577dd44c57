#include "mqtt/WatchBoard.h"

#include <cstdio>

#include "download/SlotState.h"
#include "mqtt/TopicName.h"
#include "platform/codepage/ShownText.h"
#include "record/Json.h"

namespace {

std::vector<std::string> Levels(const std::string& topic) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = topic.find('/', start);
        levels.push_back(topic.substr(start, slash - start));
        if (slash == std::string::npos) {
            return levels;
        }
        start = slash + 1;
    }
}

// A field as the table shows it: a string's text, a number as written, "-" for null or none.
std::string Field(const Json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end() || it->is_null()) {
        return "-";
    }
    return it->is_string() ? it->get<std::string>() : JsonLine(*it);
}

std::string Pad(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::vector<std::string> WatchBoard::OnMessage(const std::string& topic,
                                               const std::string& payload) {
    const std::vector<std::string> levels = Levels(topic);
    if (levels.size() < 3 || levels[0] != "stavel") {
        return {};
    }
    const std::optional<std::string> station = DecodeTopicLevel(levels[1]);
    if (!station) {
        return {};
    }
    const std::string shownStation = EscapeName(*station);
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
    if (levels.size() != 4) {
        return {};
    }
    const std::optional<std::string> slot = DecodeTopicLevel(levels[2]);
    if (!slot) {
        return {};
    }
    const Json fields = ParseJsonObject(payload).value_or(Json::object());
    SlotRow& row = m_stations[*station].slots[*slot];
    m_changed = true;
    if (levels[3] == "state") {
        // A station's fixed word in the table's few; an unknown word as it came.
        row.state = Field(fields, "state");
        if (SlotState state{}; SlotStateFromCode(row.state, &state)) {
            row.state = SlotStateWords(state);
        }
        row.percent = Field(fields, "percent");
        row.rate = Field(fields, "rate");
        row.eta = Field(fields, "eta");
        row.passes = static_cast<int>(JsonWholeAt(fields, "passes"));
        row.fails = static_cast<int>(JsonWholeAt(fields, "fails"));
    } else if (levels[3] == "result") {
        const std::string result = Field(fields, "result");
        const std::string reason = Field(fields, "reason");
        const std::string word = result == "pass"      ? "PASS"
                                 : result == "aborted" ? "ABORTED "
                                                       : "FAIL ";
        row.last = result == "pass" ? word : word + reason;
        lines.push_back(shownStation + " " + EscapeName(*slot) + " " +
                        (result == "pass" ? word : word + EscapeName(reason)) +
                        " id=" + EscapeName(Field(fields, "id")));
    }
    return lines;
}

std::string WatchBoard::Table() const {
    std::string text = Pad("STATION / SLOT", 34) + Pad("STATE", 9) + Pad("%", 5) + Pad("B/S", 9) +
                       Pad("ETA S", 7) + Pad("PASS", 6) + Pad("FAIL", 6) + "LAST\n";
    int passes = 0;
    int fails = 0;
    int online = 0;
    for (const auto& [name, station] : m_stations) {
        const bool isOnline = station.online.value_or(false);
        online += isOnline ? 1 : 0;
        text += EscapeName(name) +
                (station.online ? (isOnline ? "" : "  ** OFFLINE **") : "  (status unknown)") +
                "\n";
        for (const auto& [slot, row] : station.slots) {
            text += "  " + Pad(EscapeName(slot), 32) + Pad(row.state, 9) + Pad(row.percent, 5) +
                    Pad(row.rate, 9) + Pad(row.eta, 7) + Pad(std::to_string(row.passes), 6) +
                    Pad(std::to_string(row.fails), 6) + EscapeName(row.last) + "\n";
            passes += row.passes;
            fails += row.fails;
        }
    }
    text += "\n" + std::to_string(m_stations.size()) + " station(s), " + std::to_string(online) +
            " online; " + std::to_string(passes) + " passed, " + std::to_string(fails) +
            " failed\n";
    return text;
}
