#pragma once

// The one error vocabulary below the system's own classes: the serial port, the settings
// writer, the hosts and the simulated box all answer with it. Every call that reaches the
// operating system reports which call failed and the errno it left, so the operator can be told
// the real cause ("/dev/ttyUSB0: open: Permission denied") instead of a bare failure. Statuses
// are sorted by whose fault they are:
//
//   The caller's:     InvalidSettings (a line setting the device cannot take: baud 0, data bits
//                     outside 5..8, an unknown stop-bit or parity code).
//   The system's:     NotFound (no such file or device), Busy (another holder: flock or
//                     TIOCEXCL), NoAccess (permissions: for a port, the user needs the dialout
//                     group), NotATty (not a serial device), Rejected (the driver did not apply
//                     every setting; read back differs), Lost (hang-up: the device went away),
//                     NoSpace (the disk is full), Failed (any other errno).
//   The peer's:       Stalled (the device took no byte for the stall bound: the box stopped
//                     reading, or the adapter is wedged).
//   Not errors:       Cancelled (a wait cut short by its wait event), TimedOut (a write that ran
//                     out of its time).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

enum class SysStatus {
    Ok,
    InvalidSettings,
    NotFound,
    Busy,
    NoAccess,
    NotATty,
    Rejected,
    Lost,
    NoSpace,
    Stalled,
    Failed,
    Cancelled,
    TimedOut,
};

struct SysResult {
    SysStatus status = SysStatus::Ok;
    const char* call = "";  // the system call that failed, or ""
    int sysErrno = 0;

    bool Ok() const { return status == SysStatus::Ok; }
    // The status an errno means when nothing more specific is known.
    static SysResult FromErrno(const char* call, int err);
};

// A transfer: how many bytes moved before it ended, and how it ended.
struct SysIo {
    std::size_t count = 0;
    SysResult result;
};

const char* SysStatusName(SysStatus status);
// A status as a fixed word for data that leaves the process ("busy", "not-found"): the names
// above are the operator's wording and may be reworded; these never change.
const char* SysStatusCode(SysStatus status);
// The status a word names; nothing for a word no status has.
std::optional<SysStatus> SysStatusFromCode(std::string_view code);

// A failure kept for the operator: what failed, on what (a device or file path).
struct SysFailure {
    SysFailure() = default;
    SysFailure(SysResult what, std::string on, std::string why = {})
        : result(what), subject(std::move(on)), reason(std::move(why)) {}

    SysResult result;
    std::string subject;
    std::string reason;  // in the operator's words, where the caller knows better than errno

    bool Failed() const { return !result.Ok(); }
    // "SUBJECT: REASON" where a reason was given, else "SUBJECT: CALL: strerror" where the
    // system gave an errno, else "SUBJECT: status name"; "" when nothing failed.
    std::string Describe() const;
};

// A failed call described at once, the same way: "SUBJECT: CALL: strerror", or "CALL: strerror"
// without a subject.
std::string DescribeErrno(const char* call, const std::string& subject, int err);
