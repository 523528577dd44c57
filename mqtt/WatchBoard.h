#pragma once

// What --watch knows of the line: every station heard of, online or not, its info (StationInfo.h)
// and each of its slots with its last state and the passes and fails the station counted. Fed
// with the broker's messages; drawn as a table for a terminal, or turned into one line per result
// (and per station going online or offline) for a pipe or a file.
//
// Anything on the broker may be hostile or stale: every field is cut to its column when it comes
// (a retained 5 MB field costs one message, not every redraw), and once a station's info is
// known its slots are the ones it lists, so that a retained state an earlier run left behind is
// neither shown nor counted.
//
// Threading rules: one owner thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class WatchBoard {
  public:
    // One message from the broker; the lines to print at once when not on a terminal (none for
    // a state or an info). Topics outside stavel/<station>/... are ignored.
    std::vector<std::string> OnMessage(const std::string& topic, const std::string& payload);

    // The whole table, one row per slot under its station's row, with the totals at the end.
    std::string Table() const;
    bool Changed() const { return m_changed; }
    void Drawn() { m_changed = false; }

  private:
    // As shown: escaped and cut to the column.
    struct SlotRow {
        std::string state = "?";
        std::string percent;
        std::string rate;
        std::string eta;
        std::int64_t passes = 0;
        std::int64_t fails = 0;
        std::string last;  // the last result's verdict
    };
    struct Station {
        std::optional<bool> online;
        // From the info, when there is one: each slot's label as the info writes it, with what
        // the table shows of it; and the version and start.
        std::optional<std::vector<std::pair<std::string, std::string>>> listed;
        std::string about;
        std::map<std::string, SlotRow> slots;  // by the name in the slot's topics
    };

    std::map<std::string, Station> m_stations;
    bool m_changed = true;
};
