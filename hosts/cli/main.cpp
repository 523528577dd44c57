// stavel: serves a set-top box's serial loader from the command line.

#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/ReportFile.h"
#include "hosts/cli/BoxBook.h"
#include "hosts/cli/CliOptions.h"
#include "hosts/cli/CliSession.h"
#include "hosts/cli/Demo.h"
#include "hosts/cli/ListPorts.h"
#include "hosts/cli/LogFile.h"
#include "hosts/cli/PortChoice.h"
#include "hosts/cli/SignalStop.h"
#include "hosts/cli/SlotFeed.h"
#include "hosts/cli/StationPublisher.h"
#include "hosts/cli/mqtt/MqttPublisher.h"
#include "hosts/cli/mqtt/MqttWatch.h"
#include "hosts/cli/mqtt/StateFolder.h"
#include "hosts/cli/station/BoxLogDir.h"
#include "hosts/cli/station/ChildEvents.h"
#include "hosts/cli/station/Station.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "platform/host/MessageQueue.h"

namespace {

constexpr const char* kProgram = "stavel";
constexpr const char* kVersion = "1.0.0.1";

int UsageError(const std::string& error) {
    WriteStderr(std::string(kProgram) + ": " + EscapeName(error) + "\nTry '" + kProgram +
                " --help' for more information.\n");
    return kExitUsage;
}

std::optional<std::string> ReadPassword(const CliOptions& options, std::string* error) {
    std::optional<std::string> password;
    if (!ReadMqttPassword(options.mqttPasswordFile, &password, error)) {
        return std::nullopt;
    }
    return password ? password : std::optional<std::string>(std::string());
}

MqttLogin LoginOf(const CliOptions& options, const std::optional<std::string>& password) {
    MqttLogin login;
    login.url = *options.broker;
    if (password && !password->empty()) {
        login.password = password;
    }
    login.caFile = options.mqttCa.value_or(std::string());
    return login;
}

std::unique_ptr<MqttPublisher> StartPublisher(const CliOptions& options,
                                              const std::string& reportPath, std::string* error) {
    const std::optional<std::string> password = ReadPassword(options, error);
    if (!password) {
        return nullptr;
    }
    std::unique_ptr<ResultSpool> spool = ResultSpool::Open(SpoolPathFor(reportPath), error);
    if (!spool) {
        *error = "the MQTT spool cannot be kept: " + *error;
        return nullptr;
    }
    MqttPublisher::Config config;
    config.login = LoginOf(options, password);
    config.station = options.stationName.value_or(HostName());
    config.spool = std::move(spool);
    config.say = [](const std::string& line) {
        // From the publisher's thread: the UI thread, which publishes what it holds back when
        // it falls idle, may be asleep waiting for a box, so this line is published at once.
        WriteStderr(std::string(kProgram) + ": " + EscapeName(line) + "\n");
        ConsoleOutput::Process().Publish();
    };
    return std::make_unique<MqttPublisher>(std::move(config));
}

int Watch(const CliOptions& options) {
    std::string error;
    const std::optional<std::string> password = ReadPassword(options, &error);
    if (!password) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(error) + "\n");
        return kExitUsage;
    }
    return RunWatch(LoginOf(options, password), options.watchStations, [](const std::string& line) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(line) + "\n");
    });
}

// A station of several slots: the supervisor writes the report, and with a broker one publisher
// sends what the station tells it.
int ServeStation(const CliOptions& options) {
    if (!options.broker) {
        return RunStation(options);
    }
    std::string error;
    const std::unique_ptr<MqttPublisher> publisher =
        StartPublisher(options, *options.report, &error);
    if (!publisher) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(error) + "\n");
        return kExitUsage;
    }
    StationPublisher news(*publisher);
    return RunStation(options, &news);
}

int Serve(const CliOptions& given) {
    CliOptions options = given;
    // With a broker the local report stays the source of truth, so there is always one.
    if (!options.report && options.broker) {
        std::string error;
        options.report = DefaultReportPath(&error);
        if (!options.report) {
            WriteStderr(std::string(kProgram) +
                        ": the report cannot be written: " + EscapeName(error) + "\n");
            return kExitUsage;
        }
        WriteStderr(std::string(kProgram) + ": the report goes to " + EscapeName(*options.report) +
                    "\n");
    }
    if (options.Station()) {
        return ServeStation(options);
    }
    const std::string& portArgument = options.ports.front();
    const PortChoice port = ChoosePort(portArgument, options.slotNumber);
    if (port.number == 0) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(port.error) + "\n");
        return kExitUsage;
    }
    if (port.assigned) {
        WriteStderr(std::string(kProgram) + ": COM" + std::to_string(port.number) + " stands for " +
                    EscapeName(port.devicePath) + "\n");
    }
    const std::optional<std::string>& reportPath = options.report;
    // A report that cannot be written is known before any box is served.
    std::unique_ptr<ReportFile> report;
    if (reportPath) {
        std::string error;
        report = ReportFile::Open(*reportPath, &error);
        if (!report) {
            WriteStderr(std::string(kProgram) +
                        ": the report cannot be written: " + EscapeName(error) + "\n");
            return kExitUsage;
        }
    }
    std::unique_ptr<LogFile> logFile;
    if (options.logFile) {
        std::string error;
        logFile =
            LogFile::Open(*options.logFile,
                          options.timestamps ? LogFile::Stamps::Utc : LogFile::Stamps::None, error);
        if (!logFile) {
            WriteStderr(std::string(kProgram) + ": the log file cannot be written: " +
                        EscapeName(*options.logFile) + ": " + error + "\n");
            return kExitUsage;
        }
    }
    std::unique_ptr<MqttPublisher> publisher;
    if (options.broker) {
        std::string error;
        publisher = StartPublisher(options, *reportPath, &error);
        if (!publisher) {
            WriteStderr(std::string(kProgram) + ": " + EscapeName(error) + "\n");
            return kExitUsage;
        }
        publisher->StationStarted();
    }
    std::unique_ptr<BoxLogDir> logDir;
    if (options.logDir) {
        std::string error;
        logDir = BoxLogDir::Open(*options.logDir, portArgument,
                                 options.timestamps ? LogFile::Stamps::Utc : LogFile::Stamps::None,
                                 error);
        if (!logDir) {
            WriteStderr(std::string(kProgram) +
                        ": the log folder cannot take files: " + EscapeName(error) + "\n");
            return kExitUsage;
        }
    }
    // A station's slot tells the station each step on the descriptor it was given.
    std::unique_ptr<ChildEvents> events;
    if (options.eventsFd >= 0) {
        events = std::make_unique<ChildEvents>(options.eventsFd);
    }
    const std::string device = ResolvedDevicePath(port.devicePath);
    BoxBook book("COM" + std::to_string(port.number) + " (" + device + ")", std::move(report));
    // A single box is a station of one slot, named by the port as given.
    std::unique_ptr<SlotFeed> feed;
    if (publisher) {
        MqttPublisher* to = publisher.get();
        feed = std::make_unique<SlotFeed>([to, portArgument](const SlotStatus& status) {
            to->SlotChanged(portArgument, status);
        });
    }
    if (logDir || publisher) {
        book.SetRecordSink(
            [&logDir, &publisher](const BoxRecord& record, EndReason, const std::string& line) {
                if (logDir) {
                    logDir->OnRecord(record);
                }
                if (publisher) {
                    publisher->RecordFinal(record.slot, line);
                }
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
    config.slot = BoxSlot{portArgument, device, AdapterOf(device)};
    config.book = &book;
    config.quiet = options.quiet;
    config.logFile = logFile ? static_cast<WindowObserver*>(logFile.get()) : logDir.get();
    if (events) {
        config.stationSlot = true;
        config.observers.push_back(events.get());
        config.sinks.push_back(events.get());
    }
    if (feed) {
        config.sinks.push_back(feed.get());
    }
    config.keepStoredPort = port.byPath;
    CliSession session(config);
    const int status = session.Run();
    if (publisher) {
        publisher->StationEnded();
    }
    if (options.loop) {
        WriteStderr(std::string(kProgram) + ": " + std::to_string(session.BoxesPassed()) +
                    " box(es) finished\n");
        WriteStderr(std::string(kProgram) + ": " + std::to_string(session.BoxesPassed()) +
                    " passed, " + std::to_string(session.BoxesFailed()) + " failed" +
                    (session.BoxesAborted() > 0
                         ? ", " + std::to_string(session.BoxesAborted()) + " aborted"
                         : std::string()) +
                    "\n");
    }
    return status;
}

int Dispatch(const CliOptions& options) {
    switch (options.mode) {
        case CliOptions::Mode::Help:
            WriteStdout(UsageText(kProgram));
            return 0;
        case CliOptions::Mode::Version:
            WriteStdout(std::string(kProgram) + " " + kVersion + "\n");
            return 0;
        case CliOptions::Mode::ListPorts: {
            const PortSelection selection =
                options.allPorts ? PortSelection::WholeTable : PortSelection::Present;
            WriteStdout(PortListText(ListPorts(selection), selection));
            return 0;
        }
        case CliOptions::Mode::Demo:
            return RunDemo(DemoOptions{
                options.fast, options.image.empty() ? std::nullopt : std::optional(options.image),
                options.debug, options.quiet});
        case CliOptions::Mode::Watch:
            return Watch(options);
        case CliOptions::Mode::Serve:
            break;
    }
    return Serve(options);
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
    SignalStop signals(
        [](int signo) {
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
            // A write waiting on a box that stopped reading would hold the UI thread: end it
            // now, so the stop below runs at once and cleanly.
            if (CliSession* session = CliSession::Current()) {
                session->AbortWrite();
            }
            StopWatch(signo);
            MessageQueue::Ui().PostTask([signo] {
                if (CliSession* session = CliSession::Current()) {
                    session->OnSignal(signo);
                }
            });
        },
        std::chrono::seconds(5));

    const std::vector<std::string> args(argv + 1, argv + argc);
    const CliParse parse = ParseCommandLine(args);
    int status = kExitUsage;
    if (!parse.options) {
        UsageError(parse.error);
    } else {
        status = Dispatch(*parse.options);
    }
    // Everything queued is written before the end, however slowly it is read; a signal in the
    // meantime still ends the process (SignalStop).
    ConsoleOutput::Process().Finish();
    return status;
}
