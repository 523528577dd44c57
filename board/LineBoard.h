#pragma once

// What the page shows of the line now: each station heard of, online or offline, with what its
// info says (job, image, operator, version, slots) and each slot's last state and verdict, as
// JSON for /api/stations and as the events that keep an open page up to date:
//   "station"  the whole station (it came, went online or offline, its info or slots changed)
//   "slot"     one slot's new state {"station":NAME,"slot":{...}}
//   "result"   a new box's result (HistoryResult.h's object)
//
// Anything on the broker may be hostile or stale. Texts are cut where they come, numbers
// clamped, and the board holds at most 1000 stations of at most 256 slots; once a station's
// info is known, its slots are the ones it lists (a retained state an earlier run left behind
// is not shown). The page escapes every text; this side only keeps them bounded.
//
// Threading rules: one owner at a time (BoardService holds its lock around every call).

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "board/HistoryResult.h"
#include "mqtt/StationInfo.h"
#include "record/Json.h"

// Which of a station's topics (TopicName.h) a message came on.
struct BoardTopic {
    enum class Kind { Status, Info, State, Result };
    Kind kind = Kind::Status;
    std::string station;
    std::string slot;  // for State and Result
};
std::optional<BoardTopic> ParseBoardTopic(const std::string& topic);

class LineBoard {
  public:
    struct Event {
        const char* name;
        Json data;
    };

    // A status, info or state: the event for the page, when something it shows changed.
    std::optional<Event> OnMessage(const BoardTopic& topic, const std::string& payload);
    // A result heard for the first time: its slot's last verdict, and the "result" event.
    std::optional<Event> OnResult(const HistoryResult& result);
    // The "slot" event of a slot as it is now (after a result: its look shows the verdict).
    std::optional<Event> SlotEvent(const std::string& station, const std::string& slot) const;
    // [station, ...] in name order.
    Json Stations() const;

  private:
    struct Slot {
        std::string state;  // the state's code, as it came (cut)
        Json percent = nullptr;
        Json rate = nullptr;
        Json eta = nullptr;
        std::int64_t passes = 0;
        std::int64_t fails = 0;
        std::int64_t aborts = 0;
        std::optional<HistoryResult> last;
    };
    struct Station {
        std::optional<bool> online;
        std::optional<StationInfo> info;
        std::map<std::string, Slot> slots;  // by the name in the slot's topics
    };

    // The station, made when it is new; null past the most the board holds.
    Station* Find(const std::string& name);
    Slot* FindSlot(Station& station, const std::string& slot);
    Json StationJson(const std::string& name, const Station& station) const;
    static Json SlotJson(const std::string& name, const std::string& port, const Slot& slot);

    std::map<std::string, Station> m_stations;
};
