#pragma once

// A job: the line's settings in one file, which an operator runs and does not edit. It names
// the image and the SHA-256 it must have, the slots and their ports, and where records, logs
// and results go. Paths in it are taken from the job file's folder.
//
//   name = "line3-fw-2.4"
//   image = "fw-2.4.sdl"
//   sha256 = "3f2a…"              # all 64 hex digits
//   [slots]
//   A1 = "/dev/serial/by-path/…"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "station/PowerPlan.h"
#include "station/RetryPolicy.h"
#include "station/ScanDesk.h"
#include "unit/UnitLayout.h"

// The line's rate unless a job or --baud asks for another.
inline constexpr std::uint32_t kDefaultBaud = 115200;
// The rates a job or --baud may ask for; the port itself may still refuse one.
inline constexpr std::uint32_t kLeastBaud = 50;
inline constexpr std::uint32_t kMostBaud = 4000000;

struct JobSlot {
    std::string label;
    std::string port;
    std::optional<SlotSwitch> power;  // its outlet, for the job's [power]
    int line = 0;
};

struct Job {
    std::string file;  // the job file, as a whole path
    std::string name;
    std::optional<std::string> station;
    std::string image;   // a whole path
    std::string sha256;  // 64 lower-case hex digits
    std::optional<int> timeoutSeconds;
    std::optional<std::string> boxId;  // checked to compile with one group
    std::optional<std::string> report;
    std::optional<std::string> logDir;
    bool timestamps = false;
    bool debug = false;
    std::optional<std::string> capture;
    std::optional<std::int64_t> captureMax;
    std::optional<std::string> mqtt;  // checked to be a broker's URL
    std::optional<std::string> mqttCa;
    std::optional<std::string> mqttPasswordFile;
    // Where every record also goes: checked to be a database's URL, a SQLite file's path taken
    // from the job's folder ("sqlite:/srv/line3/boxes.db").
    std::optional<std::string> db;
    // The line's rate, where the job sets one (the box's loader must be built for it).
    std::optional<std::uint32_t> baud;
    // coverage = "whole": a box that was not sent every byte of the image fails.
    bool requireWhole = false;
    // [unit]: each box's own data in a region of the image, drawn from a pool.
    std::optional<UnitLayout> unit;
    int unitLine = 0;  // the [unit] region's line, for a mistake found once the image is known
    // [power]: how the station switches each slot's box.
    std::optional<PowerPlan> power;
    int powerLine = 0;
    // retries, retry_on, take_out_after.
    RetryPolicy retry;
    int retriesLine = 0;
    // scan = "required", scan_prefix = "SLOT:", repeats = "warn" | "block".
    ScanPolicy scan;
    std::vector<JobSlot> slots;  // in the file's order
    // label = "pass.zpl", printer = "tcp://HOST:9100": each PASS's label, its template read
    // and checked with the job (label/LabelTemplate.h), and where it is printed.
    std::optional<std::string> labelFile;  // as the job names it
    std::optional<std::string> labelZpl;   // the template's text
    int labelLine = 0;
    std::optional<std::string> printer;  // a folder as a whole path (label/LabelPrinter.h)
    int printerLine = 0;
};

// A SHA-256 as given by hand: all 64 hex digits in either case, answered in lower case; nothing
// for anything else.
std::optional<std::string> Sha256Hex(const std::string& text);

// Reads and checks a job file. A mistake fails as "FILE:LINE: what is wrong", or "FILE: …"
// for what is missing, so the operator can go straight to it.
Result<Job> ReadJob(const std::string& path);

// Parses a job's text; `file` names it in failures and is where relative paths start from.
Result<Job> ParseJob(const std::string& text, const std::string& file);
