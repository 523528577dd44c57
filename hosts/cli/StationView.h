#pragma once

// What a station shows. On a terminal that takes escape codes: a table with one line per slot
// (slot, state, percent, rate, ETA, passes, fails, the last verdict) and a line beneath a slot
// that its port or a silent box holds up, redrawn in place on standard error, with each verdict
// written above it. Elsewhere (a pipe, a file, TERM=dumb): one line per event on
// standard error. With --json, the events for the line's software on standard output. At the
// end, the tally. Everything goes through the process's writer thread.
//
// Threading rules: the supervisor's thread only.

#include <string>
#include <vector>

#include "download/SlotStatus.h"
#include "record/BoxRecord.h"
#include "record/Json.h"
#include "station/ColumnText.h"
#include "station/ScanDesk.h"

// The table a terminal shows, in 80 columns: a heading and a line per slot, and beneath a slot
// what holds it up ("⚠ no port: ..."), each line ending with the terminal's erase-to-end-of-line.
std::string StationTableText(const std::vector<SlotStatus>& slots);

// One row of the tally, ending in a line break: the slot (or "total"), its passed, failed and
// aborted boxes, the yield ("–" while no box has been judged) and the mean time per box.
std::string TallyRow(const std::string& name, int passed, int failed, int aborted, int firstPassed,
                     double seconds);

class StationView {
  public:
    explicit StationView(bool json);

    // A box has started talking on `slot`.
    void BoxStarted(const std::string& slot);
    // Once a second per loading slot.
    void Progress(const SlotStatus& status);
    // A box's end: `recordText` is its record as a JSON object; `recordError` why it could not
    // be written, or empty.
    void BoxEnded(const std::string& slot, BoxResult result, const std::string& reason,
                  double seconds, const Json& record, const std::string& recordError);
    // A box's end for --json alone, with its record (BoxEnded says it too; a box an earlier run
    // had in flight when it was killed, recorded at this start, has only this: the station says
    // it on standard error itself).
    void EndEvent(const std::string& slot, BoxResult result, const Json& record);
    // The slot's port is absent or busy while no box is in hand (said once per change).
    void PortState(const std::string& slot, SlotState state, const std::string& why);
    // A message for the operator (a slot waiting for its adapter, a slot that could not start).
    void Message(const std::string& text);
    // An operator's scan, given or refused; with --json an event too.
    void Scan(const ScanNews& news);
    // The table's lines as they are now; drawn on a terminal only.
    void Table(const std::vector<SlotStatus>& slots);
    // The table is done with: what follows starts below it.
    void EndTable();
    // --json: the station's tally as its last event, with both yields.
    void TallyEvent(const std::vector<SlotStatus>& slots);

    bool Live() const { return m_live; }

  private:
    void Above(const std::string& text);

    bool m_json;
    bool m_live;  // a table redrawn in place
    std::size_t m_drawnLines = 0;
};
