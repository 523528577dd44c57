#pragma once

// A slot's status to and from JSON, as a slot's state topic on the broker carries it, for the
// station that publishes it and for every reader (--watch, the board). One object, keys in this
// order, enums as their fixed words:
//   {"state":"failed","percent":23,"rate":0,"eta":null,"passes":3,"fails":1,"aborts":0,
//    "stalled":null,
//    "last":{"result":"fail","reason":"port lost at 23 % (5.2 s)","reason_code":"port-lost",
//            "box_id":null,"end":"2026-12-07T02:31:07.120Z"},   (a PASS whose label could not be
//            printed also has "label_missed":true)
//    "port_problem":{"trouble":"absent","text":"/dev/pts/1: open: No such file or directory"},
//    "hint":null,"warning":null,"first_passes":3,
//    "scan":{"waits":false,"next":false,"id":"SN4711"},"schema":4}
// `rate` in bytes per second, `eta` and `stalled` in whole seconds; a key with nothing to hold
// is null; "scan" is null unless the job requires each box's scan. Schema 3 had no "scan".
// Schema 2 had no "warning" and no "first_passes" (every pass was a first one; the last
// verdict had no "attempt"). Schema 1 (no "schema" key) had the keys up to "aborts"; a reader
// takes it, with no verdict, port problem or hint, and says which it read, so that a watcher can
// take the verdict from the slot's results instead.
//
// Whatever arrives may be hostile: the decoder takes no more than ParseJsonObject does (1 MiB,
// 32 levels), cuts every text to a bound and clamps every number, so that one message costs a
// bounded amount.

#include <optional>
#include <string>
#include <string_view>

#include "download/SlotStatus.h"
#include "record/Json.h"

inline constexpr int kSlotStatusSchema = 4;

// "absent", "busy", "lost".
const char* PortTroubleWord(PortTrouble trouble);
std::optional<PortTrouble> PortTroubleFromWord(std::string_view word);

Json SlotStatusJson(const SlotStatus& status);
// The payload as a state topic carries it: one line, without a line break.
std::string SlotStatusLine(const SlotStatus& status);
Json LastVerdictJson(const LastVerdict& verdict);

// A status as read back. The slot's name is not in the payload (its topic names it).
struct SlotStatusRead {
    SlotStatus status;
    // A state word this version does not know (a newer station's), cut; its status says
    // WaitingForPort, and a view shows this word instead. Empty for a known word.
    std::string unknownState;
    int schema = 1;  // 1 for a payload without a "schema" key
};

// Nothing for a payload that is no object.
std::optional<SlotStatusRead> SlotStatusFromJson(const Json& json);
std::optional<SlotStatusRead> ParseSlotStatus(std::string_view payload);
// Nothing for an object that is no verdict (no result word this version knows).
std::optional<LastVerdict> LastVerdictFromJson(const Json& json);
