#pragma once

// --help and --version of the desktop programs, answered before the toolkit starts, so that
// they work without a display: an installation's check, a look at a server's packages.

#include <cstdio>
#include <cstring>
#include <optional>

#include "version/BuildVersion.h"

// When the command line asks for help or the version, prints it and answers the exit status;
// nothing otherwise, and the program starts as it would have.
inline std::optional<int> AnswerInfoOption(int argc, char** argv, const char* program,
                                           const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, kBuildVersion);
            return 0;
        }
    }
    return std::nullopt;
}
