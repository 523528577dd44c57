#pragma once

// What the page shows of the line now (WatchedLine.h, the model --watch keeps too): each station
// heard of, online or offline, with what its info says (job, image, operator, version, slots)
// and each slot's last state and verdict, as JSON for /api/stations and as the events that keep
// an open page up to date:
//   "station"  the whole station (it came, went online or offline, its info or slots changed)
//   "slot"     one slot's new state {"station":NAME,"slot":{...}}
//   "result"   a new box's result (HistoryResult.h's object)
//
// A slot's JSON carries its look (station/SlotLook.h), the same words, symbols and notes the
// desktop station's tiles show. The page escapes every text; the model keeps them bounded, and
// a station's "dropped" counts its messages past the model's bounds.
//
// Threading rules: one owner at a time (BoardService holds its lock around every call).

#include <optional>
#include <string>

#include "board/HistoryResult.h"
#include "mqtt/LineMessage.h"
#include "mqtt/WatchedLine.h"
#include "record/Json.h"

class LineBoard {
  public:
    struct Event {
        const char* name;
        Json data;
    };

    // A status, info or state: the event for the page, when something it shows changed.
    std::optional<Event> OnMessage(const LineMessage& message);
    // A result heard for the first time: the slot's verdict where its station's states do not
    // carry one, and the "result" event.
    std::optional<Event> OnResult(const HistoryResult& result, const BoxRecord& record);
    // The "slot" event of a slot as it is now.
    std::optional<Event> SlotEvent(const std::string& station, const std::string& slot) const;
    // [station, ...] in name order.
    // Every station as one JSON array, made a station at a time: a line of thousands of
    // stations never stands as one tree of small allocations beside its text.
    std::string StationsLine() const;

  private:
    Json StationJson(const std::string& name, const WatchedStation& station) const;

    WatchedLine m_line;
};
