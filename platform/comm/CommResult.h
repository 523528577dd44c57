#pragma once

// The error vocabulary of the serial layer, sorted by whose fault it is. Every call that reaches
// the operating system reports which call failed and the errno it left, so a log line can name
// the real cause ("open: Permission denied") instead of a bare failure.
//
//   The caller's:     InvalidSettings (a line setting the device cannot take: baud 0, data bits
//                     outside 5..8, an unknown stop-bit or parity code).
//   The system's:     NotFound (no such device), Busy (another holder: flock or TIOCEXCL),
//                     NoAccess (permissions: the user needs the dialout group), NotATty,
//                     Rejected (the driver did not apply every setting; read back differs),
//                     Lost (hang-up: the device went away), Failed (any other errno).
//   Not errors:       Cancelled (a wait cut short by the wait event), TimedOut (a write or drain
//                     that ran out of its time).

#include <cstddef>

enum class CommStatus {
    Ok,
    InvalidSettings,
    NotFound,
    Busy,
    NoAccess,
    NotATty,
    Rejected,
    Lost,
    Failed,
    Cancelled,
    TimedOut,
};

struct CommResult {
    CommStatus status = CommStatus::Ok;
    const char* call = "";  // the system call that failed, or ""
    int sysErrno = 0;

    bool Ok() const { return status == CommStatus::Ok; }
};

// A transfer: how many bytes moved before it ended, and how it ended.
struct CommIo {
    std::size_t count = 0;
    CommResult result;
};
