#pragma once

// What is kept of one box: who it was (the slot and the device behind it), how it ended, what
// it was given. Plain data, filled by JudgeSession (BoxVerdict.h) and written as one JSON Lines
// object by BoxRecordJson.h; a station collects the records of its children as they are.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The record format's version, as "schema" carries it: a reader that knows 2 knows every key.
// Version 1 had no "unit", "served_sha256", "attempt", "final" and "retry_of"; a record of it
// reads as its box's one attempt, final, with no unit; "label" came later within 2, and a record
// without it had no label due.
inline constexpr int kRecordSchema = 2;

// Where and by whom a record was made: the same for every box of a run.
struct RecordProvenance {
    std::string toolVersion;
    std::string host;
    std::optional<std::string> station;
    std::optional<std::string> operatorName;
    std::optional<std::string> job;

    bool operator==(const RecordProvenance&) const = default;
};

// PASS, FAIL, or ABORTED when the operator stopped the box mid-session.
enum class BoxResult { Pass, Fail, Aborted };

struct BoxRecord {
    std::string id;      // a random UUID, unique per box
    std::string slot;    // the port as the operator gave it
    std::string device;  // the device path it resolved to
    // USB vendor:product and serial number ("0403:6001 A50285BI") where known.
    std::optional<std::string> adapter;
    BoxResult result = BoxResult::Fail;
    std::string reason;  // empty on a pass
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    double seconds = 0;
    std::int64_t bytes = 0;     // image bytes sent
    std::int64_t requests = 0;  // data requests answered
    double coverage = 0;        // share of the image's bytes asked for at least once, 0..1
    double coverageSent = 0;    // share of the image's bytes written to the port, 0..1
    std::string image;
    std::int64_t imageSize = 0;
    std::string imageSha256;
    // The box's log (a --log-dir file, the --log-file) was written whole; true without one.
    bool logComplete = true;
    RecordProvenance made;
    std::optional<std::string> boxId;     // the identity the box printed (--box-id)
    std::optional<std::string> repeatOf;  // the id of an earlier PASS record of the same box
    std::optional<std::string> byPath;    // the device's stable names, where it has them
    std::optional<std::string> byId;
    std::optional<std::string> adapterSerial;
    std::string reasonCode;              // the session's end as a fixed word ("port-lost")
    std::optional<std::string> logFile;  // the box's own log file (--log-dir), or --log-file
    // A job with a [unit]: each field's name and value as served to this box, a secret field's
    // as "sha256:" and its SHA-256; and the SHA-256 of the whole image as served to it (its own
    // region written in). Nothing without a [unit], or for a box never served its unit.
    std::optional<std::vector<std::pair<std::string, std::string>>> unit;
    std::optional<std::string> servedSha256;
    // A box tried again on its slot has a record per attempt: its number (from 1), whether it
    // is the one the box is judged by, and the first attempt's record id on every later one.
    int attempt = 1;
    bool final = true;
    std::optional<std::string> retryOf;
    // A job with a label: whether the PASS's label was printed; nothing where none was due (a
    // box that did not pass, a job without a label, a record from before labels).
    std::optional<bool> label;

    bool Passed() const { return result == BoxResult::Pass; }
};
