// stavel: serves a set-top box's serial loader from the command line.

#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
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

int Serve(const CliOptions& options) {
    if (options.Station()) {
        return RunStation(options);
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
    // A report that cannot be written is known before any box is served.
    std::unique_ptr<ReportFile> report;
    if (options.report) {
        std::string error;
        report = ReportFile::Open(*options.report, &error);
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
    BoxBook book(BoxSlot{portArgument, device, AdapterOf(device)},
                 "COM" + std::to_string(port.number) + " (" + device + ")", std::move(report));
    if (events || logDir) {
        book.SetRecordSink(
            [&events, &logDir](const BoxRecord& record, BoxEnd end, const std::string& line) {
                if (logDir) {
                    logDir->OnRecord(record);
                }
                if (events) {
                    events->OnRecord(end, line);
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
    config.book = &book;
    config.quiet = options.quiet;
    config.logFile = logFile ? static_cast<WindowObserver*>(logFile.get()) : logDir.get();
    config.progressObserver = events.get();
    if (events) {
        config.onEvent = [&events](DownloadEvent event) {
            if (event == DownloadEvent::Started) {
                events->OnArmed();
            }
        };
    }
    config.keepStoredPort = port.byPath;
    CliSession session(config);
    const int status = session.Run();
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
            // A write waiting on a box that stopped reading would hold the UI thread: end it
            // now, so the stop below runs at once and cleanly.
            if (CliSession* session = CliSession::Current()) {
                session->AbortWrite();
            }
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
