#pragma once

// The line as a reader of the broker knows it: every station heard of, online or not, with its
// info and each of its slots' last status. --watch draws it as a table or lines, the board in a
// browser as JSON; both keep this one model and feed it the messages DecodeLineMessage makes.
//
// A slot's last verdict comes with its state (SlotStatusCodec.h). A station of an earlier
// version sends states without one: its slot's verdict is then taken from its results, shown
// once its state has left the box (a result may come before the state that ends the box), and
// dropped when its next box begins, as the station itself would.
//
// Anything on the broker may be hostile or stale. Once a station's info is known, its slots are
// the ones it lists, so that a retained state an earlier run left behind is neither shown nor
// counted. And the model holds a bounded amount, far past any real line's:
//   - at most 4,096 stations: a station heard of beyond them is ignored (the ones already known
//     are kept, so a flood of made-up names cannot push a real station out);
//   - at most 256 slots a station (as its info lists them or as their states come), and 65,536
//     in all: a slot beyond either bound is ignored, and an info that lists more keeps those
//     within them;
//   - every text cut where it is decoded: a name to 200 bytes, a reason or a port's problem to
//     500, a hint or an info's text to 300, a word to 40 (LineMessage.h and the codecs);
//   - a payload past the decoders' bounds (1 MiB, 32 levels) refused unread.
// What is dropped is counted, and said once on the owner's `say`: once for the line's stations,
// once for its slots, and once per station for its own slots and for its messages over the bound.
//
// Threading rules: one owner at a time.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "download/SlotStatus.h"
#include "mqtt/LineMessage.h"
#include "mqtt/StationInfo.h"

struct WatchedSlot {
    bool heard = false;  // a state has come (a slot its info lists may not have spoken yet)
    SlotStatus status;   // the last state, and the tally as its station counted it
    // A state word this version does not know, as it came; a view shows it as it is.
    std::string unknownState;
    bool verdictInState = false;  // the station's states carry the last verdict
    // An earlier station's last verdict, from its results: shown once its state has left the
    // box it judged, dropped when its next box begins.
    std::optional<LastVerdict> fromResult;
};

struct WatchedStation {
    std::optional<bool> online;  // nothing until its status is heard
    std::optional<StationInfo> info;
    std::map<std::string, WatchedSlot> slots;  // by the name in the slot's topics
    // The slots it holds: those heard, and those its info lists that are not.
    std::size_t held = 0;
    // Its messages dropped: for a slot past the bounds, or over the decoders' bounds; each kind
    // said once.
    std::uint64_t dropped = 0;
    bool toldSlots = false;
    bool toldOverBound = false;

    struct Shown {
        std::string label;
        std::string port;  // as the info gives it; empty without one
        const WatchedSlot* slot;
    };
    // The slots a view shows: those the info lists, in its order, or every slot heard while no
    // info is known.
    std::vector<Shown> ShownSlots() const;
};

class WatchedLine {
  public:
    enum class Change { Nothing, Station, Slot };

    static constexpr std::size_t kMostStations = 4096;
    static constexpr std::size_t kMostSlots = 256;  // a station's
    static constexpr std::size_t kMostSlotsInAll = 65536;

    // Messages dropped, by why.
    struct Drops {
        std::uint64_t stations = 0;   // of a station past the most stations
        std::uint64_t slots = 0;      // of a slot past the most slots, or listed past them
        std::uint64_t overBound = 0;  // refused unread
    };

    // Where the first drop of each kind is said; nothing is said without it.
    void SayDropsOn(std::function<void(const std::string&)> say) { m_say = std::move(say); }

    // A status, an info or a state (a result goes through OnResult): what a view must draw
    // again. A new slot, a cleared one or an info is its whole station.
    Change Apply(const LineMessage& message);
    // A box's result on `station`'s `slot`.
    Change OnResult(const std::string& station, const std::string& slot, const BoxRecord& record);

    const std::map<std::string, WatchedStation>& Stations() const { return m_stations; }
    const WatchedSlot* FindSlot(const std::string& station, const std::string& slot) const;
    const Drops& Dropped() const { return m_drops; }
    // The slots held now, in all: those heard and those an info lists, each once.
    std::size_t SlotsInAll() const { return m_slotsInAll; }

  private:
    // Made when new; null past the most the model holds.
    WatchedStation* Station(const std::string& name);
    WatchedSlot* Slot(const std::string& stationName, WatchedStation& station,
                      const std::string& name);
    void TakeInfo(const std::string& name, WatchedStation& station,
                  std::optional<StationInfo> info);
    void Recount(WatchedStation& station);
    void DropSlots(const std::string& stationName, WatchedStation& station, const std::string& slot,
                   std::uint64_t count);
    void DropOverBound(const LineMessage& message, WatchedStation& station);
    void Say(const std::string& line) const;

    std::map<std::string, WatchedStation> m_stations;
    std::size_t m_slotsInAll = 0;
    Drops m_drops;
    bool m_toldStations = false;
    bool m_toldSlotsInAll = false;
    std::function<void(const std::string&)> m_say;
};
