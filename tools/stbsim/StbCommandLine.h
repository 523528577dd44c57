#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/stbsim/StbSimOptions.h"

// The stbsim program's options, parsed apart from main() so they can be tested.
struct StbCommandLine {
    StbSimOptions options;      // image left empty: main() loads or makes it
    std::string imagePath;      // --image FILE
    int64_t generateSize = -1;  // --size N
    std::string savePath;       // --save FILE: where a generated image is written
    std::string tty;            // --tty DEVICE
    uint32_t baud = 115200;     // --baud N
    bool help = false;
};

// False with a message for the user on a usage error.
bool ParseStbCommandLine(const std::vector<std::string>& args, StbCommandLine& out,
                         std::string& error);

extern const char* const kStbUsage;
