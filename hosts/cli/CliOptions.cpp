#include "hosts/cli/CliOptions.h"

#include <getopt.h>

#include <algorithm>

#include "download/BoxIdScanner.h"
#include "job/Job.h"
#include "platform/ports/PortChoice.h"
#include "platform/ports/PortMap.h"
#include "station/SlotLabel.h"
#include "store/QueryTime.h"
#include "store/StoreUrl.h"

namespace {

// Long-only options have codes past any character.
enum LongOnly : int {
    kLoop = 256,
    kIni,
    kListPorts,
    kDemo,
    kFast,
    kAll,
    kCount,
    kTimeout,
    kReport,
    kLogFile,
    kTimestamps,
    kMqtt,
    kMqttCa,
    kMqttPasswordFile,
    kStationName,
    kOperator,
    kBoxId,
    kWatch,
    kStation,
    kLogDir,
    kJson,
    kSlotChannel,
    kJob,
    kCheck,
    kSha256,
    kCapture,
    kCaptureMax,
    kRecordInfo,
    // The board's, in BoardOptions::Option's order.
    kHttp,
    kHttpTokenFile,
    kHttpMaxClients,
    kHistory,
    kKeepDays,
    // The database's.
    kDb,
    kFind,
    kExport,
    kFrom,
    kTo,
    kResult,
    kFormat,
    kBaud,
    kRequireWhole,
    kBell,
};

const option kOptions[] = {
    {"port", required_argument, nullptr, 'p'},
    {"image", required_argument, nullptr, 'i'},
    {"debug", no_argument, nullptr, 'd'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"loop", no_argument, nullptr, kLoop},
    {"ini", required_argument, nullptr, kIni},
    {"list-ports", no_argument, nullptr, kListPorts},
    {"demo", no_argument, nullptr, kDemo},
    {"fast", no_argument, nullptr, kFast},
    {"all", no_argument, nullptr, kAll},
    {"count", required_argument, nullptr, kCount},
    {"timeout", required_argument, nullptr, kTimeout},
    {"report", required_argument, nullptr, kReport},
    {"log-file", required_argument, nullptr, kLogFile},
    {"timestamps", no_argument, nullptr, kTimestamps},
    {"mqtt", required_argument, nullptr, kMqtt},
    {"mqtt-ca", required_argument, nullptr, kMqttCa},
    {"mqtt-password-file", required_argument, nullptr, kMqttPasswordFile},
    {"station-name", required_argument, nullptr, kStationName},
    {"operator", required_argument, nullptr, kOperator},
    {"box-id", required_argument, nullptr, kBoxId},
    {"watch", required_argument, nullptr, kWatch},
    {"station", required_argument, nullptr, kStation},
    {"log-dir", required_argument, nullptr, kLogDir},
    {"json", no_argument, nullptr, kJson},
    {"slot-channel", required_argument, nullptr, kSlotChannel},
    {"job", required_argument, nullptr, kJob},
    {"check", no_argument, nullptr, kCheck},
    {"sha256", required_argument, nullptr, kSha256},
    {"capture", required_argument, nullptr, kCapture},
    {"capture-max", required_argument, nullptr, kCaptureMax},
    {"record-info", required_argument, nullptr, kRecordInfo},
    {"http", required_argument, nullptr, kHttp},
    {"http-token-file", required_argument, nullptr, kHttpTokenFile},
    {"http-max-clients", required_argument, nullptr, kHttpMaxClients},
    {"history", required_argument, nullptr, kHistory},
    {"keep-days", required_argument, nullptr, kKeepDays},
    {"db", required_argument, nullptr, kDb},
    {"find", required_argument, nullptr, kFind},
    {"export", no_argument, nullptr, kExport},
    {"from", required_argument, nullptr, kFrom},
    {"to", required_argument, nullptr, kTo},
    {"result", required_argument, nullptr, kResult},
    {"format", required_argument, nullptr, kFormat},
    {"baud", required_argument, nullptr, kBaud},
    {"require-whole", no_argument, nullptr, kRequireWhole},
    {"bell", no_argument, nullptr, kBell},
    {nullptr, 0, nullptr, 0},
};

constexpr const char* kShort = ":p:i:dqhV";

// A whole number in low..limit, as --timeout (from 0) and --count (from 1) take.
// A value a library parsed, or its refusal as the option's error.
bool Taken(const Result<void>& taken, std::string& error) {
    if (!taken) {
        error = taken.Failure().Describe();
    }
    return taken.Ok();
}

template <typename T>
bool Take(const Result<T>& taken, T& out, std::string& error) {
    if (!taken) {
        error = taken.Failure().Describe();
        return false;
    }
    out = *taken;
    return true;
}

bool TakeCount(const std::string& name, const char* value, int limit, int& out, std::string& error,
               int low = 1) {
    long long n = *value == '\0' ? -1 : 0;
    for (const char* c = value; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || n > limit) {
            n = -1;
            break;
        }
        n = n * 10 + (*c - '0');
    }
    if (n < low || n > limit) {
        error = name + " takes a whole number from " + std::to_string(low) + " to " +
                std::to_string(limit) + ", not '" + value + "'";
        return false;
    }
    out = static_cast<int>(n);
    return true;
}

// What getopt_long refused, as the user typed it.
std::string Refused(int code, int optopt, const std::string& arg) {
    const bool longForm = arg.starts_with("--");
    const std::string name = longForm || optopt == 0 ? arg.substr(0, arg.find('='))
                                                     : std::string("-") + static_cast<char>(optopt);
    return code == ':' ? "option '" + name + "' needs a value" : "unknown option '" + name + "'";
}

// "COM3", "com3" and "\\.\COM3" are one port, and so are two paths to one device, and a port
// name and the device it stands for.
bool SamePort(const std::string& a, const std::string& b) {
    return PortDevice(a) == PortDevice(b);
}

struct Seen {
    bool port = false;
    bool ini = false;
    bool mqtt = false;
    bool watch = false;
    bool timeout = false;
    bool line = false;        // --baud or --require-whole
    int exclusive = 0;        // --help, --version, --list-ports
    int options = 0;          // every option given
    bool slot = false;        // --slot-channel
    bool query = false;       // --find or --export
    bool exportOnly = false;  // --from, --to, --result or --format
    std::string notForQuery;  // the first option --find and --export do not take
    std::string unlocked;     // the first option a job does not leave to the operator
};

// What an operator may still choose when a job runs: the job is the lock.
bool OpenUnderJob(int code) {
    return code == kJob || code == kCheck || code == kOperator || code == 'q' || code == kJson ||
           code == kLoop || code == kCount || (code >= kFind && code <= kFormat) ||
           code == kStation || code == kBell;
}

// What --find and --export take beside themselves.
bool TakenByQuery(int code) {
    return code == kDb || code == kJob || code == kJson || code == kStation ||
           (code >= kFind && code <= kFormat);
}

// --find and --export: a database and what to read from it.
std::string CheckQuery(const CliOptions& o, const Seen& seen) {
    if (!seen.notForQuery.empty()) {
        return std::string(o.mode == CliOptions::Mode::Find ? "--find" : "--export") +
               " takes only --db, --job and its own options, not '" + seen.notForQuery + "'";
    }
    if (o.db && o.job) {
        return "--db or --job names the database: one or the other";
    }
    if (o.mode == CliOptions::Mode::Find) {
        if (seen.exportOnly || !o.watchStations.empty()) {
            return "--from, --to, --station, --result and --format go with --export";
        }
        return {};
    }
    if (!o.from || !o.to) {
        return "--export needs --from TIME and --to TIME (ISO 8601: 2026-12-07T08:00:00Z, or "
               "local time without the zone)";
    }
    if (o.watchStations.size() > 1) {
        return "--export takes one --station";
    }
    if (o.json) {
        return "--json goes with --find; --export takes --format jsonl";
    }
    return {};
}

std::string Check(const CliOptions& o, const Seen& seen, bool hasOperands) {
    if (hasOperands) {
        return "stavel takes no operands; name the image with --image";
    }
    if (seen.slot && seen.options > 1) {
        return "--slot-channel stands alone";
    }
    if (seen.exclusive > 1) {
        return "--help, --version, --list-ports and --record-info stand alone";
    }
    if (o.check && !o.job) {
        return "--check goes with --job";
    }
    if (seen.query) {
        return CheckQuery(o, seen);
    }
    if (seen.exportOnly) {
        return "--from, --to, --result and --format go with --export";
    }
    if (o.job) {
        if (!seen.unlocked.empty()) {
            return "with --job only --check, --operator, --quiet, --bell, --json, --loop and "
                   "--count may "
                   "be given; the job sets the rest ('" +
                   seen.unlocked + "')";
        }
        if (!o.watchStations.empty()) {
            return "with --job only --check, --operator, --quiet, --bell, --json, --loop and "
                   "--count may "
                   "be given; the job sets the rest ('--station')";
        }
        return o.count > 0 && !o.loop ? "--count goes with --loop" : "";
    }
    if (o.allPorts && o.mode != CliOptions::Mode::ListPorts) {
        return "--all goes with --list-ports";
    }
    if (o.timestamps && !o.logFile && !o.logDir) {
        return "--timestamps goes with --log-file or --log-dir";
    }
    if (o.logFile && o.logDir) {
        return "--log-file and --log-dir do not go together";
    }
    if (o.board.given && !seen.watch) {
        return "--http and the board's options go with --watch";
    }
    if (o.db && o.board.history) {
        return "--history FILE is the board's database sqlite:FILE.db: give one or the other";
    }
    if (o.db && seen.watch && !o.board.http) {
        return "--db with --watch keeps the board's history: it goes with --http";
    }
    if (const std::string board = CheckBoardOptions(o.board); !board.empty()) {
        return board;
    }
    if (seen.mqtt && seen.watch) {
        return "--mqtt serves and publishes, --watch only watches: one or the other";
    }

    if (!o.watchStations.empty() && !seen.watch) {
        return "--station goes with --watch (a station names itself with --station-name)";
    }
    if ((o.mqttCa || o.mqttPasswordFile) && !o.broker) {
        return std::string(o.mqttCa ? "--mqtt-ca" : "--mqtt-password-file") +
               " goes with --mqtt or --watch";
    }
    if (o.mqttCa && o.broker && !o.broker->tls) {
        return "--mqtt-ca goes with an mqtts:// broker";
    }
    switch (o.mode) {
        case CliOptions::Mode::Serve:
            if (o.ports.empty()) {
                return "--port is required";
            }
            if (o.image.empty()) {
                return "--image is required";
            }
            if (o.fast) {
                return "--fast goes with --demo";
            }
            if (o.count > 0 && !o.loop) {
                return "--count goes with --loop";
            }
            if (o.logFile && o.Station()) {
                return "a station keeps one log per box: use --log-dir";
            }
            return {};
        case CliOptions::Mode::Watch:
            if (seen.port || !o.image.empty() || seen.ini || o.loop || o.count > 0 ||
                seen.timeout || o.report || o.logFile || o.debug || o.fast || seen.line) {
                return "--watch takes only --station, --mqtt-ca, --mqtt-password-file and --quiet";
            }
            return {};
        case CliOptions::Mode::Demo:
            if (seen.port || seen.ini || o.loop || o.count > 0 || seen.timeout || o.report ||
                o.logFile || o.logDir || o.json || seen.mqtt || o.db || seen.line) {
                return "--demo takes only --fast, --image, --debug and --quiet";
            }
            return {};
        default:
            return {};
    }
}

// One option's effect; false with `error` set when its value is refused.
bool Apply(int code, const char* value, CliOptions& o, Seen& seen, std::string& error) {
    switch (code) {
        case 'p': {
            const SlotArgument slot = ReadSlotArgument(value);
            const auto twin = std::find_if(o.ports.begin(), o.ports.end(), [&](const auto& given) {
                return SamePort(given, slot.port);
            });
            if (twin != o.ports.end()) {
                // A name and a path (or two names) are the operator's surprise: say the device.
                const bool sameKind = PortNumberForName(*twin) == PortNumberForName(slot.port);
                error = sameKind ? "the port '" + slot.port + "' is given twice"
                                 : "the ports '" + *twin + "' and '" + slot.port +
                                       "' are one device (" + PortDevice(slot.port) + ")";
                return false;
            }
            if (std::find(o.labels.begin(), o.labels.end(), slot.label) != o.labels.end()) {
                error = "the slot label '" + slot.label + "' is given twice";
                return false;
            }
            o.ports.push_back(slot.port);
            o.labels.push_back(slot.label);
            seen.port = true;
            return true;
        }
        case 'i':
            o.image = value;
            return true;
        case 'd':
            o.debug = true;
            return true;
        case 'q':
            o.quiet = true;
            return true;
        case 'h':
        case 'V':
        case kListPorts:
        case kRecordInfo:
            ++seen.exclusive;
            o.recordInfo = code == kRecordInfo ? value : "";
            o.mode = code == 'h'          ? CliOptions::Mode::Help
                     : code == 'V'        ? CliOptions::Mode::Version
                     : code == kListPorts ? CliOptions::Mode::ListPorts
                                          : CliOptions::Mode::RecordInfo;
            return true;
        case kLoop:
            o.loop = true;
            return true;
        case kIni:
            o.ini = value;
            seen.ini = true;
            return true;
        case kDemo:
            o.mode = CliOptions::Mode::Demo;
            return true;
        case kFast:
            o.fast = true;
            return true;
        case kAll:
            o.allPorts = true;
            return true;
        case kCount:
            return TakeCount("--count", value, 1000000, o.count, error);
        case kTimeout:
            // A day is far beyond any box; the bound keeps the timer's milliseconds in range.
            seen.timeout = true;
            return TakeCount("--timeout", value, 86400, o.timeoutSeconds, error, 0);
        case kReport:
            o.report = value;
            return true;
        case kLogFile:
            o.logFile = value;
            return true;
        case kTimestamps:
            o.timestamps = true;
            return true;
        case kMqtt:
        case kWatch: {
            const Result<MqttUrl> url = ParseMqttUrl(value);
            if (!url) {
                error = url.Failure().Describe();
                return false;
            }
            o.broker = *url;
            (code == kMqtt ? seen.mqtt : seen.watch) = true;
            if (code == kWatch) {
                o.mode = CliOptions::Mode::Watch;
            }
            return true;
        }
        case kMqttCa:
            o.mqttCa = value;
            return true;
        case kMqttPasswordFile:
            o.mqttPasswordFile = value;
            return true;
        case kBoxId:
            if (const auto pattern = BoxIdPattern::Compile(value); !pattern) {
                error = pattern.Failure().Describe();
                return false;
            }
            o.boxId = value;
            return true;
        case kOperator:
            o.operatorName = value;
            return true;
        case kStationName:
            o.stationName = value;
            return true;
        case kStation:
            o.watchStations.emplace_back(value);
            return true;
        case kLogDir:
            o.logDir = value;
            return true;
        case kCapture:
            o.captureDir = value;
            return true;
        case kCaptureMax:
            return Take(ParseCaptureMax(value), o.captureMax, error);
        case kJson:
            o.json = true;
            return true;
        case kJob:
            o.job = value;
            return true;
        case kCheck:
            o.check = true;
            return true;
        case kSha256:
            o.sha256 = Sha256Hex(value);
            if (!o.sha256) {
                error = "--sha256 takes the image's SHA-256, all 64 hex digits";
                return false;
            }
            return true;
        case kDb:
            if (Result<StoreUrl> url = ParseStoreUrl(value); !url) {
                error = url.Failure().Describe();
                return false;
            }
            o.db = value;
            return true;
        case kFind:
        case kExport:
            if (seen.query) {
                error = "--find and --export: one or the other";
                return false;
            }
            seen.query = true;
            o.mode = code == kFind ? CliOptions::Mode::Find : CliOptions::Mode::Export;
            o.findBox = code == kFind ? value : "";
            return true;
        case kFrom:
        case kTo:
            seen.exportOnly = true;
            if (!ParseQueryTime(value)) {
                error = std::string(code == kFrom ? "--from" : "--to") +
                        " takes an ISO 8601 time (2026-12-07T08:00:00Z, or local time without "
                        "the zone), not '" +
                        value + "'";
                return false;
            }
            (code == kFrom ? o.from : o.to) = value;
            return true;
        case kResult:
            seen.exportOnly = true;
            if (std::string(value) != "pass" && std::string(value) != "fail" &&
                std::string(value) != "aborted") {
                error = std::string("--result takes pass, fail or aborted, not '") + value + "'";
                return false;
            }
            o.resultWord = value;
            return true;
        case kFormat:
            seen.exportOnly = true;
            if (std::string(value) != "csv" && std::string(value) != "jsonl") {
                error = std::string("--format takes csv or jsonl, not '") + value + "'";
                return false;
            }
            o.jsonLines = std::string(value) == "jsonl";
            return true;
        case kHttp:
        case kHttpTokenFile:
        case kHttpMaxClients:
        case kHistory:
        case kKeepDays:
            return Taken(
                ApplyBoardOption(static_cast<BoardOptions::Option>(code - kHttp), value, o.board),
                error);
        case kBaud: {
            int baud = 0;
            if (!TakeCount("--baud", value, static_cast<int>(kMostBaud), baud, error,
                           static_cast<int>(kLeastBaud))) {
                return false;
            }
            o.baud = static_cast<std::uint32_t>(baud);
            seen.line = true;
            return true;
        }
        case kRequireWhole:
            o.requireWhole = true;
            seen.line = true;
            return true;
        case kBell:
            o.bell = true;
            return true;
        case kSlotChannel:
            o.mode = CliOptions::Mode::Slot;
            seen.slot = true;
            return TakeCount("--slot-channel", value, 1024, o.slotChannel, error, 0);
        default:
            return false;
    }
}

}  // namespace

CliParse ParseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        return {std::nullopt, "nothing to do"};
    }
    std::vector<std::string> copies{"stavel"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    CliOptions o;
    o.mode = CliOptions::Mode::Serve;
    Seen seen;
    std::string error;
    optind = 0;  // a fresh scan (glibc), also for a second parse in one process
    opterr = 0;  // the refusal is worded here
    for (;;) {
        const int before = optind == 0 ? 1 : optind;
        const int code =
            getopt_long(static_cast<int>(argv.size() - 1), argv.data(), kShort, kOptions, nullptr);
        if (code == -1) {
            break;
        }
        if (code == '?' || code == ':') {
            const std::string arg = copies[std::min<std::size_t>(before, copies.size() - 1)];
            return {std::nullopt, Refused(code, optopt, arg)};
        }
        const char* value = optarg != nullptr ? optarg : "";
        if (optarg != nullptr && *optarg == '\0') {
            return {std::nullopt, "an option's value may not be empty"};
        }
        if (!OpenUnderJob(code) && seen.unlocked.empty()) {
            const std::string& arg = copies[std::min<std::size_t>(before, copies.size() - 1)];
            seen.unlocked = arg.substr(0, arg.find('='));
        }
        ++seen.options;
        if (!TakenByQuery(code) && seen.notForQuery.empty()) {
            const std::string& arg = copies[std::min<std::size_t>(before, copies.size() - 1)];
            seen.notForQuery = arg.substr(0, arg.find('='));
        }
        if (!Apply(code, value, o, seen, error)) {
            return {std::nullopt, error};
        }
    }
    error = Check(o, seen, optind < static_cast<int>(argv.size() - 1));
    if (!error.empty()) {
        return {std::nullopt, error};
    }
    return {o, {}};
}
