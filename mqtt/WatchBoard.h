#pragma once

// What --watch knows of the line: every station heard of, online or not, and each of its slots
// with its last state and the passes and fails the station counted. Fed with the broker's
// messages; drawn as a table for a terminal, or turned into one line per result (and per
// station going online or offline) for a pipe or a file.
//
// Threading rules: one owner thread.

#include <map>
#include <optional>
#include <string>
#include <vector>

class WatchBoard {
  public:
    // One message from the broker; the lines to print at once when not on a terminal (none for
    // a state). Topics outside stavel/<station>/... are ignored.
    std::vector<std::string> OnMessage(const std::string& topic, const std::string& payload);

    // The whole table, one row per slot under its station's row, with the totals at the end.
    std::string Table() const;
    bool Changed() const { return m_changed; }
    void Drawn() { m_changed = false; }

  private:
    struct SlotRow {
        std::string state = "?";
        std::string percent;
        std::string rate;
        std::string eta;
        int passes = 0;
        int fails = 0;
        std::string last;  // the last result's verdict
    };
    struct Station {
        std::optional<bool> online;
        std::map<std::string, SlotRow> slots;
    };

    std::map<std::string, Station> m_stations;
    bool m_changed = true;
};
