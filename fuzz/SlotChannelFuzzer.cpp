// Any bytes as a slot's channel carries them, read as either end reads them: cut into frames,
// each read as a message from the station (by a slot) and as a message from a slot (by its
// station). Neither may crash; the frames may not depend on how the bytes arrive (all at once,
// or in small pieces); and what was read, written again as its sender writes it, must read back
// to the same message (its bytes written a second time are the same), so that nothing one end
// accepts is lost or changed on its way through the other. The events a slot sends also go, as
// a station hands them on, into its copy of the slot's session: whatever figures they bring, its
// figures and its box's record must be ones the broker's and the report's readers take.

#include <cstdint>
#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "download/SlotStatusCodec.h"
#include "fuzz/FuzzText.h"
#include "record/BoxRecordCodec.h"
#include "slot/SlotChannel.h"

namespace {

std::vector<Json> Frames(std::string_view bytes, std::size_t piece, bool& broken) {
    FrameReader reader;
    std::vector<Json> frames;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.Feed(bytes.substr(at, piece));
        while (const std::optional<Json> frame = reader.Next()) {
            frames.push_back(*frame);
        }
    }
    broken = reader.Broken();
    return frames;
}

std::optional<Json> ThroughTheChannel(const Json& message) {
    FrameReader reader;
    reader.Feed(FrameOf(message));
    std::optional<Json> read = reader.Next();
    if (!read || reader.Partial() || reader.Broken()) {
        fuzz::Fail("a written frame does not read back", JsonLine(message));
    }
    return read;
}

Json Written(const DownMessage& m) {
    switch (m.kind) {
        case DownMessage::Kind::Hello:
            return Json{{"kind", "hello"}, {"version", m.version}};
        case DownMessage::Kind::Config:
            return ConfigMessage(m.config);
        case DownMessage::Kind::Finish:
            return FinishMessage();
        case DownMessage::Kind::Stop:
            return StopMessage();
        case DownMessage::Kind::Input:
            return InputMessage(m.input);
        case DownMessage::Kind::UnknownInput:
            break;
    }
    return Json{{"kind", "input"}, {"input", "a later kind"}};
}

Json Written(const UpMessage& m) {
    switch (m.kind) {
        case UpMessage::Kind::Hello:
            return Json{{"kind", "hello"}, {"version", m.version}};
        case UpMessage::Kind::Event:
            return EventMessage(m.event);
        case UpMessage::Kind::Record:
            return RecordMessage(m.record);
        case UpMessage::Kind::Beat:
            return BeatMessage();
        case UpMessage::Kind::Say:
            return SayMessage(m.text);
        case UpMessage::Kind::Unit:
            return UnitMessage(m.unit);
        case UpMessage::Kind::Ending:
            break;
    }
    return EndingMessage(m.status, m.text);
}

// `decode` read `json`: written again, through a channel, and read, it must be written the same.
template <typename Decode>
void CheckRoundTrip(const Json& json, Decode decode) {
    const auto first = decode(json);
    if (!first) {
        return;
    }
    const Json written = Written(*first);
    const auto second = decode(*ThroughTheChannel(written));
    if (!second) {
        fuzz::Fail("a message as its sender writes it does not read back", JsonLine(written));
    }
    const std::string again = JsonLine(Written(*second));
    if (again != JsonLine(written)) {
        fuzz::Fail("a message changes on its way through the channel",
                   JsonLine(written) + "\n" + again);
    }
}

// What the station's copy of a slot's session tells: its state as the broker carries it, and
// its box's record as the report keeps it.
class Told final : public BoxSession::Sink {
  public:
    void OnProgress(const ProgressFigures& figures) override {
        SlotStatus status;
        status.state = SlotState::Loading;
        status.figures = figures;
        const std::string line = SlotStatusLine(status);
        if (!ParseSlotStatus(line)) {
            fuzz::Fail("a session's figures make a state no reader takes", line);
        }
    }
    void OnSessionEnded(const SessionEnd& end) override {
        if (end.record) {
            std::string line = BoxRecordLine(*end.record);
            line.pop_back();
            if (!ParseBoxRecord(line)) {
                fuzz::Fail("a session's record does not read back", line);
            }
        }
    }
};

// The station's copy of the slot's session, on a clock that moves a second each event.
void ToSession(const std::vector<Json>& frames) {
    Told told;
    BoxSession session(BoxSlot{"A1", "/dev/ttyUSB0", {}, {}, {}, {}}, false, &told);
    BoxSession::Clock::time_point now{};
    session.SetClock([&now] { return now; });
    for (const Json& json : frames) {
        const std::optional<UpMessage> message = UpMessageFromJson(json);
        if (message && message->kind == UpMessage::Kind::Event) {
            ApplySessionEvent(message->event, session);
            now += std::chrono::seconds(1);
            session.Tick();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool broken = false;
    const std::vector<Json> whole = Frames(bytes, std::max<std::size_t>(size, 1), broken);
    bool brokenInPieces = false;
    if (Frames(bytes, size % 7 + 1, brokenInPieces) != whole || brokenInPieces != broken) {
        fuzz::Fail("the frames depend on how the bytes arrive", bytes);
    }
    for (const Json& json : whole) {
        CheckRoundTrip(json, DownMessageFromJson);
        CheckRoundTrip(json, UpMessageFromJson);
    }
    ToSession(whole);
    return 0;
}
