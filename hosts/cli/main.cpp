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
#include "hosts/cli/PortChoice.h"
#include "hosts/cli/SignalStop.h"
#include "platform/host/Host.h"
#include "platform/host/MessageQueue.h"

namespace {

constexpr const char* kProgram = "stavel";
constexpr const char* kVersion = "1.0.0.1";

int Serve(const CliOptions& options) {
    const PortChoice port = ChoosePort(options.port);
    if (port.number == 0) {
        std::fprintf(stderr, "%s: %s\n", kProgram, port.error.c_str());
        return kExitUsage;
    }
    if (port.assigned) {
        std::fprintf(stderr, "%s: COM%d stands for %s\n", kProgram, port.number,
                     port.devicePath.c_str());
    }
    // A report that cannot be written is known before any box is served.
    std::unique_ptr<ReportFile> report;
    if (options.report) {
        std::string error;
        report = ReportFile::Open(*options.report, &error);
        if (!report) {
            std::fprintf(stderr, "%s: the report cannot be written: %s\n", kProgram, error.c_str());
            return kExitUsage;
        }
    }
    const std::string device = ResolvedDevicePath(port.devicePath);
    BoxBook book(BoxSlot{options.port, device, AdapterOf(device)},
                 "COM" + std::to_string(port.number) + " (" + device + ")", std::move(report),
                 stderr);
    SessionConfig config;
    config.portNumber = port.number;
    config.image = options.image;
    config.ini = options.ini;
    config.debug = options.debug;
    config.loop = options.loop;
    config.count = options.count;
    config.timeoutSeconds = options.timeoutSeconds;
    config.book = &book;
    CliSession session(config);
    const int status = session.Run();
    if (options.loop) {
        std::fprintf(stderr, "%s: %d box(es) finished\n", kProgram, session.BoxesFinished());
        std::fprintf(stderr, "%s: %d passed, %d failed\n", kProgram, book.Passed(), book.Failed());
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    SetApplicationName(kProgram);
    // A reader that goes away (`stavel ... | head`) must not kill a download half-way: the box
    // is served to the end and the lost log lines are the reader's choice.
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread starts, so that every thread leaves SIGINT and SIGTERM to the watcher.
    SignalStop signals(
        [](int signo) {
            MessageQueue::Ui().PostTask([signo] {
                if (CliSession* session = CliSession::Current()) {
                    session->OnSignal(signo);
                }
            });
        },
        std::chrono::seconds(5));

    const std::vector<std::string> args(argv + 1, argv + argc);
    const CliParse parse = ParseCommandLine(args);
    if (!parse.options) {
        std::fprintf(stderr, "%s: %s\n\n%s", kProgram, parse.error.c_str(),
                     UsageText(kProgram).c_str());
        return kExitUsage;
    }
    const CliOptions& options = *parse.options;
    switch (options.mode) {
        case CliOptions::Mode::Help:
            std::fputs(UsageText(kProgram).c_str(), stdout);
            return 0;
        case CliOptions::Mode::Version:
            std::printf("%s %s\n", kProgram, kVersion);
            return 0;
        case CliOptions::Mode::ListPorts:
            PrintPortList(stdout);
            return 0;
        case CliOptions::Mode::Demo:
            return RunDemo(DemoOptions{
                options.fast, options.image.empty() ? std::nullopt : std::optional(options.image),
                options.debug});
        case CliOptions::Mode::Serve:
            break;
    }
    return Serve(options);
}
