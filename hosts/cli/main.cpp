// stavel: serves a set-top box's serial loader from the command line.

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

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
    SessionConfig config;
    config.portNumber = port.number;
    config.image = options.image;
    config.ini = options.ini;
    config.debug = options.debug;
    config.loop = options.loop;
    CliSession session(config);
    const int status = session.Run();
    if (options.loop) {
        std::fprintf(stderr, "%s: %d box(es) finished\n", kProgram, session.BoxesFinished());
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
        case CliOptions::Mode::ListPorts: {
            const PortSelection selection =
                options.allPorts ? PortSelection::WholeTable : PortSelection::Present;
            PrintPortList(stdout, ListPorts(selection), selection);
            return 0;
        }
        case CliOptions::Mode::Demo:
            return RunDemo(DemoOptions{
                options.fast, options.image.empty() ? std::nullopt : std::optional(options.image),
                options.debug});
        case CliOptions::Mode::Serve:
            break;
    }
    return Serve(options);
}
