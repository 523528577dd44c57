// Any messages as the line's broker delivers them, through both of their readers: --watch (its
// lines on a pipe and its table on a terminal) and the board (its events, the results it keeps,
// the snapshot every page starts from). Neither may crash, let a control character reach the
// terminal, or write JSON a page cannot read back.
//
// The input is a row of messages cut at 0x1E. Each message's first byte says which topic it
// goes to: '0' a station's status, '1' its info, '2' a slot's state, '3' a slot's result;
// anything else takes the topic from the message itself, up to its first tab. The second byte
// picks the station (its low two bits) and the slot (the next two) among a few names, hostile
// ones included, so that messages of one input meet in the same station and slot. The rest is
// the payload.

#include <cstdint>
#include <string>

#include "board/HistoryResult.h"
#include "board/LineBoard.h"
#include "fuzz/FuzzText.h"
#include "mqtt/LineMessage.h"
#include "mqtt/TopicName.h"
#include "mqtt/WatchBoard.h"

namespace {

const char* const kStations[] = {"line7-pc3", "line/7", "\x1b]0;pwn\a", "s"};
const char* const kSlots[] = {"A1", "/dev/ttyUSB0", "\xc2\x9b[2J", "COM3"};

struct Message {
    std::string topic;
    std::string payload;
};

Message MessageOf(std::string_view raw) {
    if (raw.size() < 2) {
        return {std::string(raw), ""};
    }
    const auto selector = static_cast<unsigned char>(raw[0]);
    const auto names = static_cast<unsigned char>(raw[1]);
    const std::string station = "stavel/" + EncodeTopicLevel(kStations[names & 3]) + "/";
    const std::string slot = station + EncodeTopicLevel(kSlots[(names >> 2) & 3]) + "/";
    const std::string payload(raw.substr(2));
    switch (selector & 7) {
        case 0:
            return {station + "status", payload};
        case 1:
            return {station + "info", payload};
        case 2:
            return {slot + "state", payload};
        case 3:
            return {slot + "result", payload};
        default: {
            const std::string_view rest = raw.substr(1);
            const std::size_t tab = rest.find('\t');
            if (tab == std::string_view::npos) {
                return {std::string(rest), ""};
            }
            return {std::string(rest.substr(0, tab)), std::string(rest.substr(tab + 1))};
        }
    }
}

// What the board does with one message (BoardService::OnMessage, without its lock and threads).
void ToBoard(LineBoard& board, const Message& m) {
    const std::optional<LineMessage> message = DecodeLineMessage(m.topic, m.payload);
    if (!message) {
        return;
    }
    std::optional<LineBoard::Event> event;
    std::optional<LineBoard::Event> tile;
    if (message->kind != LineMessage::Kind::Result) {
        event = board.OnMessage(*message);
    } else if (message->record) {
        const HistoryResult result =
            ResultOfRecord(message->station, message->slot, *message->record);
        // The page's copy of a result is what an older board kept in its history, which the
        // database still reads back.
        const std::string line = JsonLine(HistoryJson(result));
        fuzz::CheckJsonObject(line);
        if (!ResultFromStored(result.station, result.slot, line)) {
            fuzz::Fail("a kept result does not read back from the history", line);
        }
        event = board.OnResult(result, *message->record);
        tile = board.SlotEvent(result.station, result.slot);
    }
    for (const auto& e : {event, tile}) {
        if (e) {
            fuzz::CheckJsonObject(JsonLine(e->data));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::UseUtf8();
    WatchBoard watch;
    LineBoard board;
    for (const std::string_view raw : fuzz::Messages(data, size)) {
        const Message message = MessageOf(raw);
        for (const std::string& line : watch.OnMessage(message.topic, message.payload)) {
            fuzz::CheckTerminalSafe(line);
        }
        ToBoard(board, message);
    }
    fuzz::CheckTerminalSafe(watch.Table());
    fuzz::CheckJsonObject("{\"stations\":" + board.StationsLine() + "}");
    return 0;
}
