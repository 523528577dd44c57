#pragma once

// What --watch shows of the line (WatchedLine.h): drawn as a table for a terminal, or turned
// into one line per result (and per station going online or offline) for a pipe or a file.
//
// A slot's row has its state (a stalled box: how long), figures and tally, and the last verdict
// with its reason until the slot's next box begins; what holds the slot up (its port, a box
// that asks for nothing) is a line beneath it. Every field is escaped and cut to its column, so
// a hostile message cannot flood the screen.
//
// Threading rules: one owner thread.

#include <functional>
#include <string>
#include <vector>

#include "mqtt/WatchedLine.h"

class WatchBoard {
  public:
    // One message from the broker; the lines to print at once when not on a terminal (none for
    // a state or an info). Topics outside stavel/<station>/... are ignored.
    std::vector<std::string> OnMessage(const std::string& topic, const std::string& payload);
    // Where what the model drops is said, once for each kind (WatchedLine.h).
    void SayDropsOn(std::function<void(const std::string&)> say) {
        m_line.SayDropsOn(std::move(say));
    }

    // The whole table, one row per slot under its station's row, with the totals at the end.
    std::string Table() const;
    bool Changed() const { return m_changed; }
    void Drawn() { m_changed = false; }

  private:
    WatchedLine m_line;
    bool m_changed = true;
};
