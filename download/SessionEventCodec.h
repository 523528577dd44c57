#pragma once

// The session's events (SessionEvents.h) and a slot's state changes, to and from JSON: one codec
// for whatever carries them out of the process, a station's slot channel and a capture file
// alike. One object per event, its kind under "event":
//   {"event":"started","image":"...","size":N,"sha256":"...","port":"COM5","device":"...",
//    "baud":115200}   (baud: 115200 when missing, as every run was before it could be chosen)
//   {"event":"first-frame"}
//   {"event":"request","offset":N,"length":N,"sent":N,"position":N,"size":N,"bytes":N,
//    "distinct_sent":N,"distinct_asked":N,"requests":N}
//   {"event":"time"}
//   {"event":"spoke"}   the box printed console text (at most once a second)
//   {"event":"spoke","box_id":"SN4711"}   ... and with it its identity (--box-id), once a box
//   {"event":"state","state":"port-absent","why":FAILURE|null}
//   {"event":"ended","reason":"port-lost","failure":FAILURE|null,"silence":S}
// A FAILURE is {"status":"not-found","errno":2,"text":"..."}: the status as its fixed word
// (SysStatusCode), the text as the writer described it, so that a reader shows it without
// asking the system again. Enums travel as words; a reader also takes a status written as the
// number the first captures hold, so those still read.

#include <optional>
#include <variant>

#include "download/SessionEvents.h"
#include "download/SlotState.h"
#include "record/Json.h"

class BoxSession;

struct FirstFrameSeen {};
struct TimeAsked {};
// The box printed console text: it is alive though it asks for nothing (a box programming its
// flash), so it is not shown as stalled. What it printed may have named the box: a reader that
// knows no "box_id" still hears that the box spoke.
struct BoxSpoke {
    std::optional<std::string> boxId;
};
// The slot's state as its session set it, with the system's failure for a port absent or busy.
struct SlotStateChanged {
    SlotState state = SlotState::WaitingForPort;
    SysFailure why;
};

using SessionEvent = std::variant<DownloadStarted, FirstFrameSeen, RequestAnswered, TimeAsked,
                                  SlotStateChanged, DownloadEnded, BoxSpoke>;

Json SessionEventJson(const SessionEvent& event);
// The event an object holds; nothing for an object that is none (an unknown kind or word). A
// "started" event read back starts now: the reader's clock is the one its session keeps.
std::optional<SessionEvent> SessionEventFromJson(const Json& json);

// Tells `session` what happened, as the download told the writer's own session.
void ApplySessionEvent(const SessionEvent& event, BoxSession& session);

// A failure as the events carry it; null when nothing failed.
Json SysFailureJson(const SysFailure& failure);
// Nothing failed for null, or for a status no word or number names.
SysFailure SysFailureFromJson(const Json& json);
