#include "hosts/cli/CliOptions.h"

namespace {

// Takes the value of an option that needs one, from "--opt value" or "--opt=value".
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = name + " needs a value";
        return false;
    }
    if (value.empty()) {
        error = name + " needs a value";
        return false;
    }
    return true;
}

// A whole number in 1..limit, as --timeout and --count take.
bool TakeCount(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               int limit, int& out, std::string& error) {
    std::string value;
    if (!TakeValue(args, i, name, value, error)) {
        return false;
    }
    long long n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9' || n > limit) {
            n = -1;
            break;
        }
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > limit) {
        error = name + " takes a whole number from 1 to " + std::to_string(limit) + ", not '" +
                value + "'";
        return false;
    }
    out = static_cast<int>(n);
    return true;
}

bool Is(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
}

std::string Check(const CliOptions& o, bool sawPort, bool sawIni) {
    switch (o.mode) {
        case CliOptions::Mode::Serve:
            if (o.port.empty()) {
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
            return {};
        case CliOptions::Mode::Demo:
            if (sawPort || sawIni || o.loop || o.count > 0 || o.timeoutSeconds > 0 || o.report) {
                return "--demo takes only --fast, --image and --debug";
            }
            return {};
        default:
            return {};
    }
}

}  // namespace

CliParse ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions o;
    o.mode = CliOptions::Mode::Serve;
    bool sawPort = false;
    bool sawIni = false;
    bool exclusive = false;
    std::string error;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (Is(arg, "--port")) {
            if (!TakeValue(args, i, "--port", o.port, error)) {
                return {std::nullopt, error};
            }
            sawPort = true;
        } else if (Is(arg, "--image")) {
            if (!TakeValue(args, i, "--image", o.image, error)) {
                return {std::nullopt, error};
            }
        } else if (Is(arg, "--ini")) {
            if (!TakeValue(args, i, "--ini", value, error)) {
                return {std::nullopt, error};
            }
            o.ini = value;
            sawIni = true;
        } else if (Is(arg, "--timeout")) {
            // A day is far beyond any box; the bound keeps the timer's milliseconds in range.
            if (!TakeCount(args, i, "--timeout", 86400, o.timeoutSeconds, error)) {
                return {std::nullopt, error};
            }
        } else if (Is(arg, "--count")) {
            if (!TakeCount(args, i, "--count", 1000000, o.count, error)) {
                return {std::nullopt, error};
            }
        } else if (Is(arg, "--report")) {
            if (!TakeValue(args, i, "--report", value, error)) {
                return {std::nullopt, error};
            }
            o.report = value;
        } else if (arg == "--debug") {
            o.debug = true;
        } else if (arg == "--loop") {
            o.loop = true;
        } else if (arg == "--fast") {
            o.fast = true;
        } else if (arg == "--all") {
            o.allPorts = true;
        } else if (arg == "--demo") {
            o.mode = CliOptions::Mode::Demo;
        } else if (arg == "--list-ports" || arg == "--help" || arg == "-h" || arg == "--version") {
            exclusive = true;
            o.mode = arg == "--list-ports" ? CliOptions::Mode::ListPorts
                     : arg == "--version"  ? CliOptions::Mode::Version
                                           : CliOptions::Mode::Help;
        } else {
            return {std::nullopt, "unknown argument '" + arg + "'"};
        }
    }
    const bool listAll = o.mode == CliOptions::Mode::ListPorts && o.allPorts;
    if (o.allPorts && !listAll) {
        return {std::nullopt, "--all goes with --list-ports"};
    }
    if (exclusive && args.size() != (listAll ? 2u : 1u)) {
        return {std::nullopt, args[0] + " stands alone"};
    }
    if (args.empty()) {
        return {std::nullopt, "nothing to do"};
    }
    error = Check(o, sawPort, sawIni);
    if (!error.empty()) {
        return {std::nullopt, error};
    }
    return {o, {}};
}

std::string UsageText(const std::string& program) {
    return "Usage:\n"
           "  " +
           program +
           " --port DEVICE|COMn --image FILE [--ini FILE] [--debug]\n"
           "         [--loop [--count N]] [--timeout SECONDS] [--report FILE]\n"
           "  " +
           program +
           " --demo [--fast] [--image FILE] [--debug]\n"
           "  " +
           program +
           " --list-ports [--all]\n"
           "  " +
           program +
           " --help | --version\n"
           "\n"
           "Serves a set-top box's serial loader: answers its start, block and time requests\n"
           "from the image file until the box ends the download.\n"
           "\n"
           "  --port     the box's serial port: COM1..COM50 (see --list-ports) or a device path\n"
           "  --image    the image file to serve\n"
           "  --ini      the settings file (default: Stavel_OV.ini beside the program)\n"
           "  --debug    trace each request in the log\n"
           "  --loop     serve one box after another until stopped\n"
           "  --count    with --loop: stop after N boxes\n"
           "  --timeout  a box that sends nothing for SECONDS fails (with --loop: once it has\n"
           "             said something; the wait for the next box is the operator's)\n"
           "  --report   append one JSON line per box to FILE, flushed to disk as the box ends\n"
           "  --demo     a whole download against a simulated box; --fast: not paced at 115200\n"
           "  --list-ports  the serial ports present, with their stable names; --all: the whole\n"
           "             COM table\n"
           "\n"
           "The log goes to standard output, progress and messages to standard error, and each\n"
           "box's verdict to standard error: PASS, or FAIL with the reason.\n"
           "\n"
           "Exit status:\n"
           "  0            PASS (with --loop --count: every box passed)\n"
           "  1            a --count run in which any box failed\n"
           "  2            usage error, no input file, cannot read input file, or a report\n"
           "               that cannot be written\n"
           "  3            the port cannot be opened\n"
           "  4            the port was lost\n"
           "  5            the box stopped reading\n"
           "  6            the image changed\n"
           "  7            the box was silent (--timeout)\n"
           "  129 130 143  SIGHUP, SIGINT, SIGTERM, after a clean stop\n";
}
