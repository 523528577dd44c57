#include "mqtt/LineMessage.h"

#include <vector>

#include "mqtt/TopicName.h"
#include "platform/codepage/Utf8.h"
#include "record/BoxRecordCodec.h"

namespace {

constexpr std::size_t kNameBytes = 200;

// Info, states and results are JSON objects; a status is a word.
bool OverBound(const std::string& payload) {
    return payload.size() > kJsonMaxBytes || !JsonDepthWithin(payload, kJsonMaxDepth);
}

}  // namespace

std::string LineName(const std::string& name) {
    return CutText(name, kNameBytes);
}

std::optional<LineMessage> DecodeLineMessage(const std::string& topic, const std::string& payload) {
    const std::vector<std::string> levels = TopicLevels(topic);
    if (levels.size() < 3 || levels.size() > 4 || levels[0] != "stavel") {
        return std::nullopt;
    }
    const std::optional<std::string> station = DecodeTopicLevel(levels[1]);
    if (!station || station->empty()) {
        return std::nullopt;
    }
    LineMessage message;
    message.station = LineName(*station);
    if (levels.size() == 3) {
        if (levels[2] == "status") {
            message.kind = LineMessage::Kind::Status;
            if (!payload.empty()) {
                message.online = payload == "online";
            }
            return message;
        }
        if (levels[2] == "info") {
            message.kind = LineMessage::Kind::Info;
            message.overBound = OverBound(payload);
            message.info = ParseStationInfo(payload);
            return message;
        }
        return std::nullopt;
    }
    const std::optional<std::string> slot = DecodeTopicLevel(levels[2]);
    if (!slot || slot->empty()) {
        return std::nullopt;
    }
    message.slot = LineName(*slot);
    if (levels[3] == "state") {
        message.kind = LineMessage::Kind::State;
        message.overBound = OverBound(payload);
        if (!payload.empty() && !message.overBound) {
            message.state = ParseSlotStatus(payload);
            if (!message.state) {
                return std::nullopt;  // neither a status nor a clearing
            }
        }
        return message;
    }
    if (levels[3] == "result") {
        message.kind = LineMessage::Kind::Result;
        message.overBound = OverBound(payload);
        message.record = ParseBoxRecord(payload);
        return message;
    }
    return std::nullopt;
}
