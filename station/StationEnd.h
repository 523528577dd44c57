#pragma once

// How a station ended, and what that means for its exit status: one precedence for every host.

// How a station ended.
struct StationEnd {
    int signal = 0;                 // the operator's signal that stopped it
    bool recordNotWritten = false;  // a record, or a box's log, could not be written
    bool unservable = false;        // the station, or a slot, could not serve at all
    bool someFailed = false;
    bool wrongImage = false;   // a slot's START found an image the line does not serve
    bool unitPool = false;     // the unit pool gave no unit: a source empty, its store unreachable
    bool allTakenOut = false;  // every slot was taken out of service (take_out_after)

    bool operator==(const StationEnd&) const = default;
};

// A signal wins over a record not written, which wins over a wrong image, which wins over a slot
// that could not serve, which wins over a unit pool that gave no unit, which wins over every slot
// taken out, which wins over a failed box (ExitStatus.h has the numbers).
int ExitStatusFor(const StationEnd& end);
