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
            return {};
        case CliOptions::Mode::Demo:
            if (sawPort || sawIni || o.loop) {
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
           " --port DEVICE|COMn --image FILE [--ini FILE] [--debug] [--loop]\n"
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
           "  --demo     a whole download against a simulated box; --fast: not paced at 115200\n"
           "  --list-ports  the serial ports present, with their stable names; --all: the whole\n"
           "             COM table\n"
           "\n"
           "The log goes to standard output, progress and messages to standard error.\n"
           "Exit status: 0 the box ended the download; 2 usage error, no or unreadable image;\n"
           "3 the port cannot be opened; 4 the port was lost; 129/130/143 stopped by\n"
           "SIGHUP/SIGINT/SIGTERM.\n";
}
