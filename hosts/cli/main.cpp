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
#include "hosts/cli/mqtt/MqttPublisher.h"
#include "hosts/cli/mqtt/MqttWatch.h"
#include "hosts/cli/mqtt/StateFolder.h"
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
    auto publisher = std::make_unique<MqttPublisher>(std::move(config));
    publisher->StationStarted();
    return publisher;
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

int Serve(const CliOptions& options) {
    if (options.ports.size() > 1) {
        return UsageError("one --port at a time");
    }
    const std::string& portArgument = options.ports.front();
    const PortChoice port = ChoosePort(portArgument);
    if (port.number == 0) {
        WriteStderr(std::string(kProgram) + ": " + EscapeName(port.error) + "\n");
        return kExitUsage;
    }
    if (port.assigned) {
        WriteStderr(std::string(kProgram) + ": COM" + std::to_string(port.number) + " stands for " +
                    EscapeName(port.devicePath) + "\n");
    }
    // With a broker the local report stays the source of truth, so there is always one.
    std::optional<std::string> reportPath = options.report;
    if (!reportPath && options.broker) {
        std::string error;
        reportPath = DefaultReportPath(&error);
        if (!reportPath) {
            WriteStderr(std::string(kProgram) +
                        ": the report cannot be written: " + EscapeName(error) + "\n");
            return kExitUsage;
        }
        WriteStderr(std::string(kProgram) + ": the report goes to " + EscapeName(*reportPath) +
                    "\n");
    }
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
    }
    const std::string device = ResolvedDevicePath(port.devicePath);
    BoxBook book(BoxSlot{portArgument, device, AdapterOf(device)},
                 "COM" + std::to_string(port.number) + " (" + device + ")", std::move(report));
    // A single box is a station of one slot, named by the port as given.
    std::unique_ptr<SlotFeed> feed;
    if (publisher) {
        MqttPublisher* to = publisher.get();
        feed = std::make_unique<SlotFeed>([to, portArgument](const SlotStatus& status) {
            to->SlotChanged(portArgument, status);
        });
        SlotFeed* slot = feed.get();
        book.OnRecord([to, slot](const BoxRecord& record, const std::string& line) {
            to->RecordFinal(record.slot, line);
            slot->Ended(record.pass);
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
    config.book = &book;
    config.quiet = options.quiet;
    config.logFile = logFile.get();
    config.keepStoredPort = port.byPath;
    config.slotFeed = feed.get();
    CliSession session(config);
    const int status = session.Run();
    if (publisher) {
        publisher->StationEnded();
    }
    if (options.loop) {
        WriteStderr(std::string(kProgram) + ": " + std::to_string(session.BoxesFinished()) +
                    " box(es) finished\n");
        WriteStderr(std::string(kProgram) + ": " + std::to_string(book.Passed()) + " passed, " +
                    std::to_string(book.Failed()) + " failed\n");
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
