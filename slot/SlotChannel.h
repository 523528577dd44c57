#pragma once

// The channel between a station and one slot's process: a socket pair per slot, carrying frames
// both ways. A frame is a 4-byte big-endian length, then that many bytes of one JSON object, at
// most kMaxFrameBytes, read with the bounded ParseJsonObject. Each side's first frame is its
// hello with the protocol's version; a peer of another version is refused with both named.
//
// Down, from the station:
//   {"kind":"hello","version":1}
//   {"kind":"config","config":{...}}   the slot's whole configuration (SlotConfig.h), once
//   {"kind":"finish"}                  finish the box in hand, take no other
//   {"kind":"stop"}                    stop now: a box in hand is ABORTED
//   {"kind":"input","input":"scanned-box-id","value":"SN4711"[,"why":"box SN4711 already ..."]}
//                                      per-box input (SlotInput); a kind the slot does not know
//                                      yet is passed over. The scanned box's START is answered
//                                      unless "why" refuses it
//   {"kind":"input","input":"box-refused","value":"SN4711","why":"box SN4711 already passed..."}
//                                      the box whose console named SN4711 fails for "why", with
//                                      no image byte where it is heard before the box's START
//   {"kind":"input","input":"unit-data","unit":{...}}
//                                      the next box's own data, or why there is none
//                                      (slot/UnitData.h)
// Up, from the slot:
//   {"kind":"hello","version":1}
//   {"kind":"event","event":{...}}     the session's events (download/SessionEventCodec.h)
//   {"kind":"record","record":{...}}   the box's record as the slot judged it, sent just before
//                                      the event that ends the box's session
//   {"kind":"unit","unit":{...}}       what became of a unit's lease (slot/UnitData.h)
//   {"kind":"beat"}                    once a second from the slot's UI thread, while it lives
//   {"kind":"say","text":"..."}        a line for the operator
//   {"kind":"ending","status":10,"why":"..."}
//                                      the slot ends by itself with this exit status, and why
// A frame that does not decode, or a channel that closes, is the slot's crash as its station
// sees it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "download/SessionEventCodec.h"
#include "record/BoxRecord.h"
#include "record/Json.h"
#include "slot/SlotConfig.h"
#include "slot/SlotInput.h"

inline constexpr int kSlotChannelVersion = 1;
inline constexpr std::size_t kMaxFrameBytes = kJsonMaxBytes;

// The frame that carries `message`.
std::string FrameOf(const Json& message);

// Cuts a stream of bytes into frames as they arrive.
class FrameReader {
  public:
    void Feed(std::string_view bytes);
    // The next whole frame's object; nothing while none is whole, or once the stream is broken.
    std::optional<Json> Next();
    // A frame over the bound, or one that is not a JSON object: nothing more is read.
    bool Broken() const { return m_broken; }
    // Bytes of an unfinished frame wait.
    bool Partial() const { return !m_buffer.empty(); }

  private:
    std::string m_buffer;
    bool m_broken = false;
};

struct DownMessage {
    enum class Kind { Hello, Config, Finish, Stop, Input, UnknownInput };
    Kind kind = Kind::Hello;
    int version = 0;  // Hello
    SlotConfig config;
    SlotInput input;
};

Json HelloMessage();
Json ConfigMessage(const SlotConfig& config);
Json FinishMessage();
Json StopMessage();
Json InputMessage(const SlotInput& input);
// Nothing for an object that is no message the station sends.
std::optional<DownMessage> DownMessageFromJson(const Json& json);

struct UpMessage {
    enum class Kind { Hello, Event, Record, Beat, Say, Ending, Unit };
    Kind kind = Kind::Beat;
    int version = 0;  // Hello
    SessionEvent event;
    BoxRecord record;
    std::string text;  // Say: the line; Ending: why
    int status = 0;    // Ending
    UnitReport unit;   // Unit
};

Json EventMessage(const SessionEvent& event);
Json RecordMessage(const BoxRecord& record);
Json BeatMessage();
Json SayMessage(const std::string& text);
Json EndingMessage(int status, const std::string& why);
Json UnitMessage(const UnitReport& report);
// Nothing for an object that is no message a slot sends (a record that is no record included).
std::optional<UpMessage> UpMessageFromJson(const Json& json);

// "the slot speaks version 2 of the station's channel, the station version 1".
std::string VersionMismatch(int slotVersion, int stationVersion);
