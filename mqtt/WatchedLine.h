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
// Anything on the broker may be hostile or stale: the model holds at most 1000 stations of at
// most 256 slots, and once a station's info is known, its slots are the ones it lists, so that a
// retained state an earlier run left behind is neither shown nor counted.
//
// Threading rules: one owner at a time.

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

    // A status, an info or a state (a result goes through OnResult): what a view must draw
    // again. A new slot, a cleared one or an info is its whole station.
    Change Apply(const LineMessage& message);
    // A box's result on `station`'s `slot`.
    Change OnResult(const std::string& station, const std::string& slot, const BoxRecord& record);

    const std::map<std::string, WatchedStation>& Stations() const { return m_stations; }
    const WatchedSlot* FindSlot(const std::string& station, const std::string& slot) const;

  private:
    // Made when new; null past the most the model holds.
    WatchedStation* Station(const std::string& name);
    WatchedSlot* Slot(WatchedStation& station, const std::string& name);

    std::map<std::string, WatchedStation> m_stations;
};
