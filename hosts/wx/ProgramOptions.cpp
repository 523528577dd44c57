#include "hosts/wx/ProgramOptions.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "version/BuildVersion.h"

namespace {

constexpr std::array<ProgramOption, 2> kInfo{{
    {"", "--help", "", "this text"},
    {"", "--version", "", "the version"},
}};

std::string Names(const ProgramOption& option) {
    std::string names(option.shortName);
    if (!names.empty()) {
        names += ", ";
    }
    names += option.longName;
    if (!option.value.empty()) {
        names += ' ';
        names += option.value;
    }
    return names;
}

const ProgramOption* Find(std::span<const ProgramOption> table, std::string_view arg) {
    for (const ProgramOption& option : table) {
        if (arg == option.longName || (!option.shortName.empty() && arg == option.shortName)) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

ProgramCommandLine ReadProgramOptions(int argc, const char* const* argv,
                                      std::span<const ProgramOption> table, bool ignoreUnknown) {
    ProgramCommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::optional<std::string> attached;  // --name=value
        if (arg.starts_with("--")) {
            if (const auto equals = arg.find('='); equals != std::string_view::npos) {
                attached = std::string(arg.substr(equals + 1));
                arg = arg.substr(0, equals);
            }
        }
        if (arg == "--help" || arg == "--version") {
            (arg == "--help" ? line.help : line.version) = true;
            continue;
        }
        const ProgramOption* option = Find(table, arg);
        if (option == nullptr) {
            if (ignoreUnknown) {
                continue;
            }
            line.error =
                line.error.empty() ? "unknown option '" + std::string(argv[i]) + "'" : line.error;
            continue;
        }
        if (option->value.empty()) {
            if (attached) {
                line.error = line.error.empty() ? "option '" + std::string(arg) + "' takes no value"
                                                : line.error;
                continue;
            }
            line.given.emplace_back(option->longName, "");
        } else if (attached) {
            line.given.emplace_back(option->longName, *attached);
        } else if (i + 1 < argc) {
            line.given.emplace_back(option->longName, argv[++i]);
        } else if (line.error.empty()) {
            line.error = "option '" + std::string(arg) + "' needs a value (" +
                         std::string(option->value) + ")";
        }
    }
    return line;
}

std::string ProgramOptionLines(std::span<const ProgramOption> table) {
    std::size_t width = 0;
    for (const auto part : {table, std::span<const ProgramOption>(kInfo)}) {
        for (const ProgramOption& option : part) {
            width = std::max(width, Names(option).size());
        }
    }
    std::string text;
    for (const auto part : {table, std::span<const ProgramOption>(kInfo)}) {
        for (const ProgramOption& option : part) {
            std::string names = Names(option);
            names.resize(width + 2, ' ');
            text += "  " + names + std::string(option.help) + "\n";
        }
    }
    return text;
}

std::optional<int> AnswerProgramLine(const ProgramCommandLine& line, const char* program,
                                     const std::string& usage) {
    // Asked for help, the program gives it, however the rest of its line reads.
    if (line.help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s %s\n", program, kBuildVersion);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for its options.\n", program,
                     line.error.c_str(), program);
        return 2;
    }
    return std::nullopt;
}
