// stavel: serves a set-top box's serial loader from the command line.
//
// main picks what to do (help, the demo, a port list, --watch, one box, a station), sets up
// what the run needs (the report, the log, the broker) and hands over. Each step that can fail
// answers a Result, and ExitStatus.h holds the words and statuses of every failure.

#include <clocale>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardWatch.h"
#include "capture/CaptureSummary.h"
#include "hosts/cli/CliOptions.h"
#include "hosts/cli/ConsoleSlotScreen.h"
#include "hosts/cli/Demo.h"
#include "hosts/cli/JobOptions.h"
#include "hosts/cli/ListPorts.h"
#include "hosts/cli/RecordQuery.h"
#include "hosts/cli/ScanLines.h"
#include "hosts/cli/StationCtl.h"
#include "hosts/cli/StationScreen.h"
#include "hosts/cli/TerminalBell.h"
#include "job/JobPlan.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttWatch.h"
#include "mqtt/PublisherStart.h"
#include "mqtt/StateFolder.h"
#include "mqtt/StationPublisher.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "platform/host/SignalStop.h"
#include "power/PowerSwitchboard.h"
#include "record/ToolVersion.h"
#include "settings/TemporaryFiles.h"
#include "slot/ExitStatus.h"
#include "slot/ServeSlot.h"
#include "slot/SlotSession.h"
#include "station/SlotFeed.h"
#include "station/SlotProcess.h"
#include "station/Station.h"
#include "station/StationControl.h"
#include "station/StationObservers.h"
#include "store/EarlierPasses.h"
#include "store/PoolDealer.h"
#include "store/StationStore.h"
#include "store/WriterStart.h"
#include "version/BuildVersion.h"

namespace {

constexpr const char* kProgram = "stavel";
constexpr const char* kVersion = kToolVersion;

void Say(const std::string& line) {
    WriteStderr(std::string(kProgram) + ": " + EscapeName(line) + "\n");
}

// Where the signal watcher's signals go: the run under way, registered for its lifetime.
class SignalTarget {
  public:
    void Set(std::function<void(int)> target) {
        const std::lock_guard lock(m_mutex);
        m_target = std::move(target);
    }
    void Send(int signo) {
        const std::lock_guard lock(m_mutex);
        if (m_target) {
            m_target(signo);
        }
    }

  private:
    std::mutex m_mutex;
    std::function<void(int)> m_target;
};

// A slot's session under way takes the signals: SIGUSR1 (a --loop run's first Ctrl-C) finishes
// the box in hand; any other stops it now.
std::function<void(SlotSession*)> SessionTakes(SignalTarget& signals) {
    return [&signals](SlotSession* session) {
        if (session == nullptr) {
            signals.Set(nullptr);
            return;
        }
        signals.Set([session](int signo) {
            if (signo == SIGUSR1) {
                session->AskFinish();
            } else {
                session->AskStop(signo);
            }
        });
    };
}

Result<MqttLogin> LoginOf(const CliOptions& options) {
    return MqttLoginFor(*options.broker, options.mqttPasswordFile, options.mqttCa);
}

// The publisher for the broker, with its spool beside the report; fails with the step at fault.
struct PublisherSetup {
    std::unique_ptr<MqttPublisher> publisher;
    SetupStep failedStep = SetupStep::Password;
    SysFailure failure;
};

PublisherSetup StartPublisher(const CliOptions& options, const std::string& reportPath) {
    PublisherStart start{
        *options.broker, options.mqttPasswordFile, options.mqttCa, reportPath, {}, {}};
    start.info.station = options.stationName.value_or(HostName());
    start.info.version = kVersion;
    for (std::size_t i = 0; i < options.ports.size() && i < options.labels.size(); ++i) {
        start.info.slots.push_back({options.labels[i], options.ports[i]});
    }
    start.info.operatorName = options.operatorName;
    start.info.job = options.jobName;
    start.info.image = options.image;
    start.info.imageSha256 = options.sha256;  // checked before the publisher starts
    start.say = [](const std::string& line) {
        // From the publisher's thread: the UI thread, which publishes what it holds back when
        // it falls idle, may be asleep waiting for a box, so this line is published at once.
        Say(line);
        ConsoleOutput::Process().Publish();
    };
    PublisherStarted started = StartPublisher(std::move(start));
    return {std::move(started.publisher),
            started.spoolFailed ? SetupStep::Spool : SetupStep::Password, started.failure};
}

// The database's writer, with its spool beside the report; null with the status when the
// database or the spool cannot be used.
struct WriterSetup {
    std::unique_ptr<RecordWriter> writer;
    int status = kExitPass;
};

WriterSetup StartWriter(const CliOptions& options, const std::string& reportPath) {
    WriterStarted started =
        StartRecordWriter(*ParseStoreUrl(*options.db), reportPath, [](const std::string& line) {
            // From the writer's thread, published at once as the publisher's lines are.
            Say(line);
            ConsoleOutput::Process().Publish();
        });
    if (!started.writer) {
        return {nullptr,
                SetupFailed(started.spoolFailed ? SetupStep::DatabaseSpool : SetupStep::Database,
                            started.failure)};
    }
    return {std::move(started.writer)};
}

int Watch(const CliOptions& options) {
    Result<MqttLogin> login = LoginOf(options);
    if (!login) {
        return SetupFailed(SetupStep::Password, login.Failure());
    }
    BoardOptions board = options.board;
    board.db = options.db;
    return options.board.http ? RunBoardWatch(board, *login, options.watchStations, Say)
                              : RunWatch(*login, options.watchStations, Say);
}

RecordProvenance ProvenanceOf(const CliOptions& options) {
    return RecordProvenance{kVersion, HostName(), options.stationName.value_or(HostName()),
                            options.operatorName, options.jobName};
}

// What the options say each slot is served with.
SlotConfig SlotConfigOf(const CliOptions& o) {
    SlotConfig c;
    c.label = o.labels.front();
    c.port = o.ports.front();
    c.image = o.image;
    c.ini = o.ini;
    c.debug = o.debug;
    c.loop = o.loop;
    c.count = o.count;
    c.timeoutSeconds = o.timeoutSeconds;
    c.report = o.report;
    c.logFile = o.logFile;
    c.logDir = o.logDir;
    c.timestamps = o.timestamps;
    c.boxId = o.boxId;
    c.sha256 = o.sha256;
    c.captureDir = o.captureDir;
    c.captureMax = o.captureMax;
    c.baud = o.baud;
    c.requireWhole = o.requireWhole;
    c.unit = o.unit;
    c.labelZpl = o.labelZpl;
    c.printer = o.printer;
    c.made = ProvenanceOf(o);
    return c;
}

// A job with a [unit]: its pool, opened before any port, with the leases this station's slots
// left behind spoiled and counted; null with the status when the store cannot be reached.
struct DealerSetup {
    std::unique_ptr<PoolDealer> dealer;
    int status = kExitPass;
};

DealerSetup OpenDealer(const CliOptions& options) {
    if (!options.unit) {
        return {};
    }
    Result<PoolDealer::Opened> opened =
        PoolDealer::Open(*options.unit, options.stationName.value_or(HostName()), options.labels);
    if (!opened) {
        Say(opened.Failure().reason);
        return {nullptr, kExitUnitPool};
    }
    if (opened->stale > 0) {
        Say(std::to_string(opened->stale) +
            " unit lease(s) left by a run that ended without settling them: spoiled, never "
            "given again");
    }
    return {std::move(opened->dealer)};
}

// A station of several slots: the supervisor keeps the report, the terminal shows it, and with
// a broker one publisher sends what the station tells, and with a database its writer keeps it.
int ServeStation(const CliOptions& options, SignalTarget& signals) {
    StationConfig config;
    config.ports = options.ports;
    config.labels = options.labels;
    config.ini = options.ini;
    config.report = options.report;
    config.loop = options.loop;
    config.count = options.count;
    config.slot = SlotConfigOf(options);
    config.made = ProvenanceOf(options);
    config.retry = options.retry;
    config.power = options.power;
    config.scan = options.scan;
    if (options.scan.blockRepeats && options.db && options.jobName) {
        config.earlierPass = EarlierPassesIn(*options.db, *options.jobName);
    }
    std::unique_ptr<PowerSwitchboard> switches;
    if (options.power && !options.power->BySlot()) {
        switches =
            std::make_unique<PowerSwitchboard>(*options.power, options.outlets, options.labels);
        config.switches = switches.get();
    }
    // The broker and the database each hear the station.
    StationObservers watchers;
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<StationPublisher> news;
    if (options.broker) {
        PublisherSetup setup = StartPublisher(options, *options.report);
        if (!setup.publisher) {
            return SetupFailed(setup.failedStep, setup.failure);
        }
        publisher = std::move(setup.publisher);
        news = std::make_unique<StationPublisher>(*publisher);
        watchers.Add(news.get());
    }
    WriterSetup db;
    std::unique_ptr<StationStore> records;
    if (options.db) {
        db = StartWriter(options, *options.report);
        if (!db.writer) {
            return db.status;
        }
        records = std::make_unique<StationStore>(*db.writer);
        watchers.Add(records.get());
    }
    DealerSetup units = OpenDealer(options);
    if (options.unit && !units.dealer) {
        return units.status;
    }
    config.units = units.dealer.get();
    StationScreen screen(options.json, &watchers, options.bell);
    Station station(std::move(config), &screen);
    // A station with a name of its own (the job's station, --station-name) is reached by
    // `stavel --station-ctl NAME ...`, and a second station of its name is refused. One named
    // only by the host is not: several of those may serve on one PC, as they always could.
    StationControl control;
    bool running = false;
    if (options.stationName) {
        if (Result<void> opened = control.Open(*options.stationName, station, running); !opened) {
            if (running) {
                Say("the station cannot serve: " + opened.Failure().Describe());
                return kExitUsage;
            }
            Say("the station's control socket cannot be made: " + opened.Failure().Describe() +
                "; --station-ctl cannot reach it");
        } else {
            watchers.Add(&control);
        }
    }
    signals.Set([&station](int signo) {
        if (signo == SIGUSR1) {
            station.AskFinish();
        } else {
            station.AskStopNow(signo);
        }
    });
    ScanLines scans;
    if (options.scan.required && ScanLines::Readable()) {
        scans.Start(station);
    }
    const StationEnd end = station.Run();
    signals.Set(nullptr);
    return WithDatabaseFull(ExitStatusFor(end), db.writer && db.writer->DiskFull());
}

// One box (or one after another with --loop) on one port.
int ServeOne(const CliOptions& options, SignalTarget& signals) {
    ConsoleSlotScreen screen(options.quiet);
    SlotExtras extras;
    extras.running = SessionTakes(signals);
    TerminalBell bell(options.bell);
    extras.sinks.push_back(&bell);
    // A single box is a station of one slot, named by the port as given.
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<SlotFeed> feed;
    if (options.broker) {
        PublisherSetup setup = StartPublisher(options, *options.report);
        if (!setup.publisher) {
            return SetupFailed(setup.failedStep, setup.failure);
        }
        publisher = std::move(setup.publisher);
        publisher->StationStarted();
        feed = std::make_unique<SlotFeed>(
            [&publisher, label = options.labels.front()](const SlotStatus& status) {
                publisher->SlotChanged(label, status);
            });
        extras.sinks.push_back(feed.get());
    }
    std::unique_ptr<RecordWriter> writer;
    if (options.db) {
        WriterSetup db = StartWriter(options, *options.report);
        if (!db.writer) {
            return db.status;
        }
        writer = std::move(db.writer);
        writer->Start();
    }
    if (publisher || writer) {
        extras.recordKept = [&publisher, &writer](const BoxRecord& record, EndReason,
                                                  const std::string& line) {
            if (publisher) {
                publisher->RecordFinal(record.slot, line);
            }
            if (writer) {
                writer->Add(line);
            }
        };
    }
    DealerSetup units = OpenDealer(options);
    if (options.unit && !units.dealer) {
        return units.status;
    }
    extras.dealer = units.dealer.get();
    const int status = ServeSlot(SlotConfigOf(options), screen, extras);
    if (publisher) {
        publisher->StationEnded();
    }
    if (writer) {
        writer->End();
    }
    return WithDatabaseFull(status, writer && writer->DiskFull());
}

int Serve(CliOptions options, SignalTarget& signals) {
    // The wrong image is refused before any port is touched; each START checks it again.
    if (options.sha256) {
        if (Result<void> same = CheckImageSha256(options.image, *options.sha256); !same) {
            Say(same.Failure().Describe());
            return kExitUsage;
        }
    }
    // With a broker or a database the local report stays the source of truth, so there is
    // always one; their spools lie beside it.
    if (!options.report && (options.broker || options.db)) {
        Result<std::string> path = DefaultReportPath();
        if (!path) {
            return SetupFailed(SetupStep::Report, path.Failure());
        }
        options.report = *path;
        Say("the report goes to " + *path);
    }
    return options.Station() ? ServeStation(options, signals) : ServeOne(options, signals);
}

// A job: the line's settings from its file, the operator's few choices from the command line.
int ServeJob(CliOptions options, SignalTarget& signals) {
    const Result<Job> job = ReadJob(*options.job);
    if (!job) {
        Say(job.Failure().Describe());
        return kExitUsage;
    }
    if (options.check) {
        const JobPlan plan = PlanJob(*job);
        WriteStdout(plan.text);
        return plan.CanRun()                      ? kExitPass
               : !plan.imageOk || !plan.outputsOk ? kExitUsage
               : !plan.unitOk                     ? kExitUnitPool
                                                  : kExitPortFailed;
    }
    ApplyJob(*job, options);
    return Serve(options, signals);
}

int Dispatch(const CliOptions& options, SignalTarget& signals) {
    switch (options.mode) {
        case CliOptions::Mode::Help:
            WriteStdout(UsageText(kProgram));
            return kExitPass;
        case CliOptions::Mode::Version:
            WriteStdout(std::string(kProgram) + " " + kBuildVersion + "\n");
            return kExitPass;
        case CliOptions::Mode::ListPorts: {
            const PortSelection selection =
                options.allPorts ? PortSelection::WholeTable : PortSelection::Present;
            WriteStdout(PortListText(ListPorts(selection), selection));
            return kExitPass;
        }
        case CliOptions::Mode::Demo:
            return RunDemo(DemoOptions{
                options.fast, options.image.empty() ? std::nullopt : std::optional(options.image),
                options.debug, options.quiet, SessionTakes(signals)});
        case CliOptions::Mode::Watch:
            return Watch(options);
        case CliOptions::Mode::RecordInfo: {
            const Result<std::string> info = CaptureSummaryText(options.recordInfo);
            WriteStdout(info ? *info : std::string());
            return info ? kExitPass : SetupFailed(SetupStep::Capture, info.Failure());
        }
        case CliOptions::Mode::Slot: {
            // A station's slot: no progress line, its standard output discarded.
            ConsoleSlotScreen screen(true);
            return ServeStationSlot(options.slotChannel, screen, SessionTakes(signals));
        }
        case CliOptions::Mode::Find:
        case CliOptions::Mode::Export:
            return RunRecordQuery(options, Say);
        case CliOptions::Mode::Serve:
            break;
    }
    return options.job ? ServeJob(options, signals) : Serve(options, signals);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    SetApplicationName(kProgram);
    // A reader that goes away (`stavel ... | head`) must not kill a download half-way: the box
    // is served to the end and the lost log lines are the reader's choice.
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread starts, so that every thread leaves SIGINT, SIGTERM and SIGHUP to the
    // watcher.
    // From the signal watcher's thread: the run under way stops (SIGUSR1: finishes), and so
    // does a --watch.
    SignalTarget target;
    SignalStop signals(
        [&target](int signo) {
            if (signo != SIGUSR1) {
                StopWatch(signo);
            }
            target.Send(signo);
        },
        std::chrono::seconds(5),
        [] {
            RemovePendingTemporaries();
            KillSlotProcesses();  // a station never leaves a slot behind
        });

    if (argc >= 2 && std::string(argv[1]) == "--station-ctl") {
        // A request to a running station: its own small grammar, nothing else on the line.
        const int ctl = RunStationCtl(std::vector<std::string>(argv + 2, argv + argc));
        ConsoleOutput::Process().Finish();
        return ctl;
    }
    const CliParse parse = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    int status = kExitUsage;
    if (parse.options && parse.options->mode == CliOptions::Mode::Serve &&
        (parse.options->loop || parse.options->Station())) {
        signals.TakeFirstInterruptGently();
    }
    if (!parse.options) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(parse.error) + "\nTry '" + kProgram +
                    " --help' for more information.\n");
    } else {
        status = Dispatch(*parse.options, target);
    }
    // Everything queued is written before the end, however slowly it is read; a signal in the
    // meantime still ends the process (SignalStop).
    ConsoleOutput::Process().Finish();
    return status;
}
