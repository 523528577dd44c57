#include "slot/SlotChannel.h"

#include <array>
#include <cstdint>
#include <utility>

#include "record/BoxRecordCodec.h"

namespace {

constexpr std::size_t kLengthBytes = 4;

constexpr std::array<std::pair<SlotInput::Kind, const char*>, 5> kInputWords{{
    {SlotInput::Kind::UnitData, "unit-data"},
    {SlotInput::Kind::ScannedBoxId, "scanned-box-id"},
    {SlotInput::Kind::PowerCycled, "power-cycled"},
    {SlotInput::Kind::PowerSwitch, "power-switch"},
    {SlotInput::Kind::BoxRefused, "box-refused"},
}};

Json Kind(const char* kind) {
    return Json{{"kind", kind}};
}

std::optional<int> VersionOf(const Json& json) {
    const auto it = json.find("version");
    if (it == json.end() || !it->is_number_integer()) {
        return std::nullopt;
    }
    return static_cast<int>(it->get<std::int64_t>());
}

}  // namespace

std::string FrameOf(const Json& message) {
    const std::string body = JsonLine(message);
    const auto n = static_cast<std::uint32_t>(body.size());
    std::string frame{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                      static_cast<char>(n >> 8), static_cast<char>(n)};
    return frame + body;
}

void FrameReader::Feed(std::string_view bytes) {
    if (!m_broken) {
        m_buffer.append(bytes);
    }
}

std::optional<Json> FrameReader::Next() {
    if (m_broken || m_buffer.size() < kLengthBytes) {
        return std::nullopt;
    }
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i) {
        n = n << 8 | static_cast<unsigned char>(m_buffer[i]);
    }
    if (n > kMaxFrameBytes) {
        m_broken = true;
        return std::nullopt;
    }
    if (m_buffer.size() < kLengthBytes + n) {
        return std::nullopt;
    }
    std::optional<Json> message =
        ParseJsonObject(std::string_view(m_buffer).substr(kLengthBytes, n), kMaxFrameBytes);
    m_buffer.erase(0, kLengthBytes + n);
    if (!message) {
        m_broken = true;
    }
    return message;
}

Json HelloMessage() {
    return Json{{"kind", "hello"}, {"version", kSlotChannelVersion}};
}

Json ConfigMessage(const SlotConfig& config) {
    return Json{{"kind", "config"}, {"config", SlotConfigJson(config)}};
}

Json FinishMessage() {
    return Kind("finish");
}

Json StopMessage() {
    return Kind("stop");
}

Json InputMessage(const SlotInput& input) {
    const char* word = "unit-data";
    for (const auto& [kind, w] : kInputWords) {
        word = kind == input.kind ? w : word;
    }
    if (input.kind == SlotInput::Kind::UnitData) {
        return Json{{"kind", "input"}, {"input", word}, {"unit", UnitDataJson(input.unit)}};
    }
    Json json{{"kind", "input"}, {"input", word}, {"value", JsonText(input.value)}};
    if (!input.why.empty()) {
        json["why"] = JsonText(input.why);
    }
    return json;
}

std::optional<DownMessage> DownMessageFromJson(const Json& json) {
    const std::string kind = JsonStringAt(json, "kind");
    DownMessage out;
    if (kind == "hello") {
        const std::optional<int> version = VersionOf(json);
        if (!version) {
            return std::nullopt;
        }
        out.kind = DownMessage::Kind::Hello;
        out.version = *version;
    } else if (kind == "config") {
        const auto config = json.find("config");
        std::optional<SlotConfig> read =
            config == json.end() ? std::nullopt : SlotConfigFromJson(*config);
        if (!read) {
            return std::nullopt;
        }
        out.kind = DownMessage::Kind::Config;
        out.config = std::move(*read);
    } else if (kind == "finish") {
        out.kind = DownMessage::Kind::Finish;
    } else if (kind == "stop") {
        out.kind = DownMessage::Kind::Stop;
    } else if (kind == "input") {
        // Kinds of input come with later stations: one this slot does not know is no fault.
        out.kind = DownMessage::Kind::UnknownInput;
        const std::string word = JsonStringAt(json, "input");
        for (const auto& [k, w] : kInputWords) {
            if (word == w) {
                out.kind = DownMessage::Kind::Input;
                out.input =
                    SlotInput{k, JsonStringAt(json, "value"), {}, JsonStringAt(json, "why")};
            }
        }
        if (out.kind == DownMessage::Kind::Input && out.input.kind == SlotInput::Kind::UnitData) {
            const auto unit = json.find("unit");
            std::optional<UnitData> data =
                unit == json.end() ? std::nullopt : UnitDataFromJson(*unit);
            if (!data) {
                return std::nullopt;
            }
            out.input.unit = std::move(*data);
        }
    } else {
        return std::nullopt;
    }
    return out;
}

Json EventMessage(const SessionEvent& event) {
    return Json{{"kind", "event"}, {"event", SessionEventJson(event)}};
}

Json RecordMessage(const BoxRecord& record) {
    return Json{{"kind", "record"}, {"record", BoxRecordJson(record)}};
}

Json BeatMessage() {
    return Kind("beat");
}

Json SayMessage(const std::string& text) {
    return Json{{"kind", "say"}, {"text", JsonText(text)}};
}

Json EndingMessage(int status, const std::string& why) {
    return Json{{"kind", "ending"}, {"status", status}, {"why", JsonText(why)}};
}

Json UnitMessage(const UnitReport& report) {
    return Json{{"kind", "unit"}, {"unit", UnitReportJson(report)}};
}

std::optional<UpMessage> UpMessageFromJson(const Json& json) {
    const std::string kind = JsonStringAt(json, "kind");
    UpMessage out;
    if (kind == "hello") {
        const std::optional<int> version = VersionOf(json);
        if (!version) {
            return std::nullopt;
        }
        out.kind = UpMessage::Kind::Hello;
        out.version = *version;
    } else if (kind == "event") {
        const auto event = json.find("event");
        std::optional<SessionEvent> read =
            event == json.end() ? std::nullopt : SessionEventFromJson(*event);
        if (!read) {
            return std::nullopt;
        }
        out.kind = UpMessage::Kind::Event;
        out.event = std::move(*read);
    } else if (kind == "record") {
        const auto record = json.find("record");
        std::optional<BoxRecord> read =
            record == json.end() ? std::nullopt : BoxRecordFromJson(*record);
        if (!read) {
            return std::nullopt;
        }
        out.kind = UpMessage::Kind::Record;
        out.record = std::move(*read);
    } else if (kind == "unit") {
        const auto unit = json.find("unit");
        std::optional<UnitReport> report =
            unit == json.end() ? std::nullopt : UnitReportFromJson(*unit);
        if (!report) {
            return std::nullopt;
        }
        out.kind = UpMessage::Kind::Unit;
        out.unit = std::move(*report);
    } else if (kind == "beat") {
        out.kind = UpMessage::Kind::Beat;
    } else if (kind == "say") {
        out.kind = UpMessage::Kind::Say;
        out.text = JsonStringAt(json, "text");
    } else if (kind == "ending") {
        out.kind = UpMessage::Kind::Ending;
        out.status = static_cast<int>(JsonWholeAt(json, "status"));
        out.text = JsonStringAt(json, "why");
    } else {
        return std::nullopt;
    }
    return out;
}

std::string VersionMismatch(int slotVersion, int stationVersion) {
    return "the slot speaks version " + std::to_string(slotVersion) +
           " of the station's channel, the station version " + std::to_string(stationVersion);
}
