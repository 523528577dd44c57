#pragma once

// The options of a desktop program as one table, from which both its --help text and the
// reading of its command line come: an option cannot be read and left out of the help, or
// the other way round. --help and --version are answered before the toolkit starts, so that
// they work without a display (an installation's check, a look at a server's packages).

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ProgramOption {
    std::string_view shortName;  // "-p", or empty
    std::string_view longName;   // "--port"
    std::string_view value;      // "PORT" for an option that takes one, else empty
    std::string_view help;
};

struct ProgramCommandLine {
    // Each option given, by its long name, with its value, in the order given.
    std::vector<std::pair<std::string_view, std::string>> given;
    bool help = false;
    bool version = false;
    std::string error;  // the first thing that does not read; empty when all does
};

// Every option of `table`, plus --help and --version. With `ignoreUnknown`, an argument the
// table does not know is passed over rather than refused.
ProgramCommandLine ReadProgramOptions(int argc, const char* const* argv,
                                      std::span<const ProgramOption> table, bool ignoreUnknown);

// The options' part of the help text: a line each, their explanations in one column.
std::string ProgramOptionLines(std::span<const ProgramOption> table);

// What a desktop program's main answers before its window: the help (exit status 0), the
// version (0) or a usage error, said on standard error with where to read more (2). Nothing
// when the program is to start.
std::optional<int> AnswerProgramLine(const ProgramCommandLine& line, const char* program,
                                     const std::string& usage);
