#pragma once

// One message from the line's broker, decoded once for every reader of the line (--watch, the
// board in a browser): which station and slot its topic names, and what its payload says, as the
// types the stations wrote it from. The payloads are read through their own codecs only: a
// station's info (StationInfo.h), a slot's status (download/SlotStatusCodec.h) and a box's
// record (record/BoxRecordCodec.h); nobody reads a payload's text.
//
//   stavel/<station>/status        "online", anything else offline, empty: cleared
//   stavel/<station>/info          StationInfo, or nothing for a cleared or foreign payload
//   stavel/<station>/<slot>/state  a SlotStatus, or nothing for a cleared state
//   stavel/<station>/<slot>/result a BoxRecord, or nothing for a cleared or foreign payload
//
// Anything on the broker may be hostile: names are cut to 200 bytes, and every payload costs no
// more than its codec takes. A payload past what any decoder takes (ParseJsonObject's 1 MiB and
// 32 levels) is refused before it is parsed: its message comes with `overBound` and nothing
// else, so that a reader counts it and keeps what it had (it is no clearing).

#include <optional>
#include <string>

#include "download/SlotStatusCodec.h"
#include "mqtt/StationInfo.h"
#include "record/BoxRecord.h"

struct LineMessage {
    enum class Kind { Status, Info, State, Result };
    Kind kind = Kind::Status;
    std::string station;
    std::string slot;        // for State and Result
    bool overBound = false;  // the payload was refused unread: too large or nested too deep

    // Status: online or not; nothing for a cleared status.
    std::optional<bool> online;
    // Info: nothing for a payload that is no info.
    std::optional<StationInfo> info;
    // State: nothing for a cleared state (an empty payload: the station no longer serves it).
    std::optional<SlotStatusRead> state;
    // Result: nothing for a payload that is no record.
    std::optional<BoxRecord> record;
};

// Nothing for a topic outside stavel/<station>/..., or a state payload that is no status.
std::optional<LineMessage> DecodeLineMessage(const std::string& topic, const std::string& payload);

// A station's or a slot's name as a reader keeps it: cut to its bound.
std::string LineName(const std::string& name);
