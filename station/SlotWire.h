#pragma once

// The lines a slot's process and its station speak (ChildEvents.h lists them): written by the
// slot, read by the station into the same typed events the download tells, so that both keep
// the box's session alike.

#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "download/SlotState.h"
#include "record/Json.h"

// The exit status of a slot's process that cannot serve at all (its settings, its image): the
// station stops asking it for boxes.
inline constexpr int kSlotCannotServe = 2;
// A slot's exit status when START found the image is not the one the line requires: the station
// then takes no further box anywhere.
inline constexpr int kSlotWrongImage = 10;

std::string EncodeStarted(const DownloadStarted& started);
std::string EncodeRequest(const RequestAnswered& request);
std::string EncodeState(SlotState state, const SysFailure& why);
// An event with no more to it ("first-frame", "time").
std::string EncodeEvent(const char* event);
// A line for the operator.
std::string EncodeSay(const std::string& text);
// `record` is the box's record as a JSON object, or null when there was no box.
std::string EncodeEnded(const DownloadEnded& ended, const Json& record);

struct SlotLine {
    enum class Kind { Started, FirstFrame, Request, Time, State, Ended, Say };
    Kind kind = Kind::Time;
    DownloadStarted started;
    RequestAnswered request;
    SlotState state = SlotState::WaitingForPort;
    SysFailure why;
    DownloadEnded ended;
    Json record;       // the box's record as the slot judged it, or null
    std::string text;  // Say: the line
};

// Nothing for a line that is not one of them (a torn line, another program's text).
std::optional<SlotLine> DecodeSlotLine(const std::string& line);

class BoxSession;
// Tells the station's copy of a slot's session what the slot's line says, as the download told
// the slot's own. An end's record, as the slot judged it, is left in the line for the caller.
void ApplySlotLine(const SlotLine& line, BoxSession& session);
