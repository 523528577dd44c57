// stavel: serves a set-top box's serial loader from the command line.
//
// main picks what to do (help, the demo, a port list, --watch, one box, a station), sets up
// what the run needs (the report, the log, the broker) and hands over. Each step that can fail
// answers a Result, and ExitStatus.h holds the words and statuses of every failure.

#include <clocale>
#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardWatch.h"
#include "capture/CaptureSummary.h"
#include "hosts/cli/CliOptions.h"
#include "hosts/cli/CliSession.h"
#include "hosts/cli/Demo.h"
#include "hosts/cli/ExitStatus.h"
#include "hosts/cli/JobOptions.h"
#include "hosts/cli/ListPorts.h"
#include "job/JobPlan.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttWatch.h"
#include "mqtt/PublisherStart.h"
#include "mqtt/StateFolder.h"
#include "mqtt/StationPublisher.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "platform/host/MessageQueue.h"
#include "platform/host/SignalStop.h"
#include "platform/ports/PortChoice.h"
#include "record/BoxRecordCodec.h"
#include "record/ReportFile.h"
#include "record/ToolVersion.h"
#include "settings/TemporaryFiles.h"
#include "station/BoxBook.h"
#include "station/BoxCaptureDir.h"
#include "station/BoxLogDir.h"
#include "station/ChildEvents.h"
#include "station/SlotCommand.h"
#include "station/SlotFeed.h"
#include "station/Station.h"
#include "version/BuildVersion.h"

namespace {

constexpr const char* kProgram = "stavel";
constexpr const char* kVersion = kToolVersion;

void Say(const std::string& line) {
    WriteStderr(std::string(kProgram) + ": " + EscapeName(line) + "\n");
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

int Watch(const CliOptions& options) {
    Result<MqttLogin> login = LoginOf(options);
    if (!login) {
        return SetupFailed(SetupStep::Password, login.Failure());
    }
    return options.board.http ? RunBoardWatch(options.board, *login, options.watchStations, Say)
                              : RunWatch(*login, options.watchStations, Say);
}

RecordProvenance ProvenanceOf(const CliOptions& options) {
    return RecordProvenance{kVersion, HostName(), options.stationName.value_or(HostName()),
                            options.operatorName, options.jobName};
}

LogFile::Stamps StampsOf(const CliOptions& options) {
    return options.timestamps ? LogFile::Stamps::Utc : LogFile::Stamps::None;
}

// A station's slot is this program serving one port, telling the station on descriptor 3.
std::vector<std::string> SlotCommand(const CliOptions& o, const SlotLaunch& launch) {
    return SlotArguments(SlotOptions{o.image, o.debug, o.loop, o.timeoutSeconds, o.logDir,
                                     o.timestamps, o.boxId, o.sha256, o.captureDir, o.captureMax},
                         launch);
}

// A station of several slots: the supervisor writes the report, and with a broker one publisher
// sends what the station tells it.
int ServeStation(const CliOptions& options) {
    StationConfig config{
        options.ports,
        options.labels,
        options.image,
        options.ini,
        options.report,
        options.logDir,
        options.loop,
        options.count,
        options.json,
        {},
        [options](const SlotLaunch& launch) { return SlotCommand(options, launch); },
        ProvenanceOf(options)};
    if (!options.broker) {
        return ExitStatusFor(RunStation(std::move(config)));
    }
    PublisherSetup setup = StartPublisher(options, *options.report);
    if (!setup.publisher) {
        return SetupFailed(setup.failedStep, setup.failure);
    }
    StationPublisher news(*setup.publisher);
    return ExitStatusFor(RunStation(std::move(config), &news));
}

// One box (or one after another with --loop) on one port; also a station's slot.
int ServeOne(const CliOptions& options) {
    const std::string& portArgument = options.ports.front();
    const std::string& label = options.labels.front();
    const Result<PortChoice> chosen = ChoosePort(portArgument, options.slotNumber);
    if (!chosen) {
        return SetupFailed(SetupStep::Port, chosen.Failure());
    }
    const PortChoice& port = *chosen;
    if (port.assigned) {
        Say("COM" + std::to_string(port.number) + " stands for " + port.devicePath);
    }
    // A report that cannot be written is known before any box is served.
    std::unique_ptr<ReportFile> report;
    if (options.report) {
        Result<std::unique_ptr<ReportFile>> opened = ReportFile::Open(*options.report);
        if (!opened) {
            return SetupFailed(SetupStep::Report, opened.Failure());
        }
        report = std::move(*opened);
    }
    std::unique_ptr<LogFile> logFile;
    if (options.logFile) {
        Result<std::unique_ptr<LogFile>> opened =
            LogFile::Open(*options.logFile, StampsOf(options));
        if (!opened) {
            return SetupFailed(SetupStep::LogFile, opened.Failure());
        }
        logFile = std::move(*opened);
    }
    std::unique_ptr<MqttPublisher> publisher;
    if (options.broker) {
        PublisherSetup setup = StartPublisher(options, *options.report);
        if (!setup.publisher) {
            return SetupFailed(setup.failedStep, setup.failure);
        }
        publisher = std::move(setup.publisher);
        publisher->StationStarted();
    }
    std::unique_ptr<BoxLogDir> logDir;
    if (options.logDir) {
        Result<std::unique_ptr<BoxLogDir>> opened =
            BoxLogDir::Open(*options.logDir, label, StampsOf(options));
        if (!opened) {
            return SetupFailed(SetupStep::LogFolder, opened.Failure());
        }
        logDir = std::move(*opened);
    }
    const std::string device = ResolvedDevicePath(port.devicePath);
    // The verdict line names the slot by its label where it has one.
    BoxBook book(
        (label == portArgument ? "COM" + std::to_string(port.number) : label) + " (" + device + ")",
        std::move(report));
    book.SetProvenance(ProvenanceOf(options));
    if (logDir) {
        book.SetLogEnd([&](const BoxRecord& record, const std::string& verdict) {
            return logDir->Finish(record, verdict);
        });
        book.SetLogFileName([&] { return logDir->LastFile(); });
    } else if (logFile) {
        book.SetLogEnd([&](const BoxRecord&, const std::string&) { return logFile->Flush(); });
        book.SetLogFileName([&] { return std::optional<std::string>(logFile->Path()); });
    }
    if (publisher) {
        book.SetRecordSink([&](const BoxRecord& record, EndReason, const std::string& line) {
            publisher->RecordFinal(record.slot, line);
        });
    }
    SessionConfig config;
    config.portNumber = port.number;
    config.image = options.image;
    config.ini = options.ini;
    config.debug = options.debug;
    config.loop = options.loop;
    config.count = options.count;
    config.timeoutSeconds = options.timeoutSeconds;
    config.slot = SlotOn(label, device);
    config.book = &book;
    config.quiet = options.quiet;
    config.logFile = logFile ? static_cast<WindowObserver*>(logFile.get()) : logDir.get();
    config.keepStoredPort = port.byPath;
    config.requiredSha256 = options.sha256.value_or("");
    if (options.boxId) {
        config.boxIdPattern = *BoxIdPattern::Compile(*options.boxId);  // checked when parsed
    }
    std::unique_ptr<BoxCaptureDir> captures;
    if (options.captureDir) {
        Result<std::unique_ptr<BoxCaptureDir>> opened = BoxCaptureDir::Open(
            *options.captureDir, label, options.captureMax, std::string(kProgram) + " " + kVersion);
        if (!opened) {
            return SetupFailed(SetupStep::CaptureFolder, opened.Failure());
        }
        captures = std::move(*opened);
        config.observers.push_back(captures.get());
        config.sinks.push_back(captures.get());
    }
    // A station's slot tells the station each step on the descriptor it was given.
    std::unique_ptr<ChildEvents> events;
    if (options.eventsFd >= 0) {
        events = std::make_unique<ChildEvents>(options.eventsFd);
        config.stationSlot = true;
        config.observers.push_back(events.get());
        config.sinks.push_back(events.get());
        config.heartbeat = [&events] { events->Beat(); };
        book.SetSay([&events](const std::string& line) { events->Say(line); });
    }
    // A single box is a station of one slot, named by the port as given.
    std::unique_ptr<SlotFeed> feed;
    if (publisher) {
        feed = std::make_unique<SlotFeed>([&publisher, label](const SlotStatus& status) {
            publisher->SlotChanged(label, status);
        });
        config.sinks.push_back(feed.get());
    }
    CliSession session(config);
    const int status = session.Run();
    if (publisher) {
        publisher->StationEnded();
    }
    if (options.loop) {
        const std::string aborted = session.BoxesAborted() > 0
                                        ? ", " + std::to_string(session.BoxesAborted()) + " aborted"
                                        : std::string();
        Say(std::to_string(session.BoxesPassed()) + " box(es) finished");
        Say(std::to_string(session.BoxesPassed()) + " passed, " +
            std::to_string(session.BoxesFailed()) + " failed" + aborted);
    }
    return status;
}

int Serve(CliOptions options) {
    // The wrong image is refused before any port is touched; each START checks it again.
    if (options.sha256 && options.eventsFd < 0) {
        if (Result<void> same = CheckImageSha256(options.image, *options.sha256); !same) {
            Say(same.Failure().Describe());
            return kExitUsage;
        }
    }
    // With a broker the local report stays the source of truth, so there is always one.
    if (!options.report && options.broker) {
        Result<std::string> path = DefaultReportPath();
        if (!path) {
            return SetupFailed(SetupStep::Report, path.Failure());
        }
        options.report = *path;
        Say("the report goes to " + *path);
    }
    return options.Station() ? ServeStation(options) : ServeOne(options);
}

// A job: the line's settings from its file, the operator's few choices from the command line.
int ServeJob(CliOptions options) {
    const Result<Job> job = ReadJob(*options.job);
    if (!job) {
        Say(job.Failure().Describe());
        return kExitUsage;
    }
    if (options.check) {
        const JobPlan plan = PlanJob(*job);
        WriteStdout(plan.text);
        return plan.CanRun()                    ? kExitPass
               : plan.imageOk && plan.outputsOk ? kExitPortFailed
                                                : kExitUsage;
    }
    ApplyJob(*job, options);
    return Serve(options);
}

int Dispatch(const CliOptions& options) {
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
                options.debug, options.quiet});
        case CliOptions::Mode::Watch:
            return Watch(options);
        case CliOptions::Mode::RecordInfo: {
            const Result<std::string> info = CaptureSummaryText(options.recordInfo);
            WriteStdout(info ? *info : std::string());
            return info ? kExitPass : SetupFailed(SetupStep::Capture, info.Failure());
        }
        case CliOptions::Mode::Serve:
            break;
    }
    return options.job ? ServeJob(options) : Serve(options);
}

// From the signal watcher's thread: a station stops its slots; a single run stops its box on
// the UI thread, or (SIGUSR1) finishes the box it has and takes no other.
void OnSignal(int signo) {
    if (Station* station = Station::Current()) {
        station->OnSignal(signo);
        return;
    }
    if (signo == SIGUSR1) {
        MessageQueue::Ui().PostTask([] {
            if (CliSession* session = CliSession::Current()) {
                session->FinishAfterBox();
            }
        });
        return;
    }
    // A write waiting on a box that stopped reading would hold the UI thread: end it now, so
    // the stop below runs at once and cleanly.
    if (CliSession* session = CliSession::Current()) {
        session->AbortWrite();
    }
    StopWatch(signo);
    MessageQueue::Ui().PostTask([signo] {
        if (CliSession* session = CliSession::Current()) {
            session->OnSignal(signo);
        }
    });
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
    SignalStop signals(OnSignal, std::chrono::seconds(5), RemovePendingTemporaries);

    const CliParse parse = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    int status = kExitUsage;
    if (parse.options && parse.options->mode == CliOptions::Mode::Serve &&
        (parse.options->loop || parse.options->Station()) && parse.options->eventsFd < 0) {
        signals.TakeFirstInterruptGently();
    }
    if (!parse.options) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(parse.error) + "\nTry '" + kProgram +
                    " --help' for more information.\n");
    } else {
        status = Dispatch(*parse.options);
    }
    // Everything queued is written before the end, however slowly it is read; a signal in the
    // meantime still ends the process (SignalStop).
    ConsoleOutput::Process().Finish();
    return status;
}
