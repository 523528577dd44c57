#pragma once

// The command line of `stavel`, in GNU style (getopt_long: -p VALUE, --port VALUE,
// --port=VALUE, -- ends the options):
//   stavel -p DEVICE|COMn -i FILE [-d] [-q] [--ini FILE] [--log-file FILE [--timestamps]]
//          [--loop [--count N]] [--timeout SECONDS] [--report FILE] [--log-dir DIR] [--json]
//          [--mqtt URL [--station-name NAME] [--mqtt-ca FILE] [--mqtt-password-file FILE]]
//          [--baud N] [--require-whole]
//   stavel -p [LABEL=]A -p [LABEL=]B ... -i FILE [...]: a station, one slot per port
//   stavel --watch URL [--station NAME]... [--mqtt-ca FILE] [--mqtt-password-file FILE]
//          [--http [ADDR:]PORT [--http-token-file FILE] [--http-max-clients N] [--history FILE]]
//   stavel --job FILE [--check] [--operator NAME] [-q] [--json] [--loop [--count N]]
//   stavel --find BOXID [--db URL | --job FILE] [--json]
//   stavel --export --from T --to T [--station S] [--result W] [--format csv|jsonl]
//          [--db URL | --job FILE]
//   stavel --demo [--fast] [-i FILE] [-d] [-q]
//   stavel --list-ports [--all] | --record-info FILE | -h | -V
//   stavel --slot-channel FD: a station's slot (not for people: its station starts it)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardOptions.h"
#include "capture/CaptureFormat.h"
#include "mqtt/MqttUrl.h"
#include "station/PowerPlan.h"
#include "station/RetryPolicy.h"
#include "station/ScanDesk.h"
#include "unit/UnitLayout.h"

struct CliOptions {
    enum class Mode {
        Serve,
        Demo,
        ListPorts,
        Help,
        Version,
        Watch,
        RecordInfo,
        Find,
        Export,
        Slot
    };

    Mode mode = Mode::Help;
    // -p [LABEL=]PORT: the ports as given, and each slot's name: its label, or the port as given.
    // The same port or label twice is refused.
    std::vector<std::string> ports;
    std::vector<std::string> labels;
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool quiet = false;  // no progress line
    bool bell = false;   // the terminal's bell at each FAIL and slot taken out for its failures
    bool loop = false;
    bool fast = false;
    bool allPorts = false;        // --list-ports --all
    int timeoutSeconds = 120;     // the silence bound; 0: wait for the box for ever
    std::uint32_t baud = 115200;  // --baud: the line's rate (the box's loader must be built for it)
    bool requireWhole = false;    // --require-whole: a box not sent every byte of the image fails
    std::optional<UnitLayout> unit;       // a job's [unit]: each box's own data from its pool
    std::optional<std::string> labelZpl;  // a job's label template, printed on each PASS
    std::optional<std::string> printer;   // and where (label/LabelPrinter.h)
    int count = 0;  // with --loop: boxes before the run ends; 0: until stopped
    std::optional<std::string> report;
    std::optional<std::string> logFile;
    bool timestamps = false;  // with --log-file or --log-dir: each line starts with its UTC time
    std::optional<std::string> logDir;             // one log file per box in this folder
    std::optional<std::string> captureDir;         // --capture: one capture file per box here
    std::int64_t captureMax = kCaptureMaxDefault;  // --capture-max: bytes per capture file
    std::string recordInfo;                        // --record-info FILE: a capture's summary
    bool json = false;                             // a station's events on standard output
    // Internal: a station's slot's channel to its station, from which it learns the rest.
    int slotChannel = -1;

    // --mqtt (serving) or --watch: the broker.
    std::optional<MqttUrl> broker;
    std::optional<std::string> stationName;   // --station-name; default: the host name
    std::optional<std::string> operatorName;  // --operator, in every record
    std::optional<std::string> boxId;         // --box-id REGEX, checked to have one group
    std::optional<std::string> sha256;        // --sha256 HEX: the only image served
    // --job FILE: the line's settings, read before serving; --check only shows its plan.
    std::optional<std::string> job;
    bool check = false;
    std::optional<std::string> jobName;  // from the job, for every record
    std::optional<std::string> mqttCa;
    std::optional<std::string> mqttPasswordFile;
    std::vector<std::string> watchStations;  // --station, with --watch; none: every station
    BoardOptions board;                      // --http and the board's options, with --watch

    // --db URL: where records go (serving), the board's history (--watch --http), or what
    // --find and --export read; checked to be a database's URL.
    std::optional<std::string> db;
    std::string findBox;              // --find BOXID
    std::optional<std::string> from;  // --export's times, ISO 8601 (checked)
    std::optional<std::string> to;
    std::optional<std::string> resultWord;  // --result pass|fail|aborted
    bool jsonLines = false;                 // --format jsonl (csv unless given)

    // From a job: its power control, each slot's outlet (in the ports' order), its retries.
    std::optional<PowerPlan> power;
    std::vector<SlotSwitch> outlets;
    RetryPolicy retry;
    // ... and how it takes each box's scan.
    ScanPolicy scan;

    // More than one port, events for the line, or power, retries and scans, which a station
    // keeps: the station serves the ports as its slots.
    bool Station() const {
        return ports.size() > 1 || json || power || retry.retries > 0 || retry.takeOutAfter > 0 ||
               scan.required || scan.blockRepeats;
    }
};

struct CliParse {
    std::optional<CliOptions> options;
    std::string error;  // why the command line was refused (one line), when options is empty
};

CliParse ParseCommandLine(const std::vector<std::string>& args);

// The text of --help (hosts/cli/usage.txt).
std::string UsageText(const std::string& program);
