#pragma once

// The command line of `stavel`:
//   stavel --port DEVICE|COMn --image FILE [--ini FILE] [--debug] [--loop [--count N]]
//          [--timeout SECONDS] [--report FILE]
//   stavel --demo [--fast] [--image FILE]
//   stavel --list-ports [--all] | --help | --version

#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    enum class Mode { Serve, Demo, ListPorts, Help, Version };

    Mode mode = Mode::Help;
    std::string port;
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool loop = false;
    bool fast = false;
    bool allPorts = false;   // --list-ports --all
    int timeoutSeconds = 0;  // 0: wait for the box for ever
    int count = 0;           // with --loop: boxes before the run ends; 0: until stopped
    std::optional<std::string> report;
};

struct CliParse {
    std::optional<CliOptions> options;
    std::string error;  // why the command line was refused, when options is empty
};

CliParse ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string UsageText(const std::string& program);
