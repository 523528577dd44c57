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
    bool version = false;    // --version
    bool fast = false;       // --fast: unpaced (a replay: not at the recorded pace)
    std::string replayPath;  // --replay FILE: a capture's box side, against the tool
    int ptys = 1;            // --ptys N: N boxes at once, each on a pseudo-terminal of its own
    // --fail K:KIND:BYTES: the box on pty K (1..N) fails on purpose after BYTES image bytes.
    struct Failure {
        enum class Kind { HangUp, StopReading, Silent } kind = Kind::HangUp;
        int pty = 1;
        int64_t bytes = 0;
    };
    std::vector<Failure> failures;
    // --fail-first K:KIND:N: the box on pty K fails its first N boots.
    struct Glitch {
        int pty = 1;
        StbSimOptions::Glitch kind = StbSimOptions::Glitch::Stall;
        int boots = 0;
    };
    std::vector<Glitch> glitches;
    // --power-fifo PATH: each box's power input (PowerFifoFor).
    std::string powerFifo;
};

// The power input of the box on pty `pty`: PATH for one box, PATH-K for box K of several.
std::string PowerFifoFor(const StbCommandLine& cmd, int pty);

// The options of the box on pty `pty` (1..N): the shared ones with its --fail applied.
StbSimOptions OptionsForPty(const StbCommandLine& cmd, int pty);

// False with a message for the user on a usage error.
bool ParseStbCommandLine(const std::vector<std::string>& args, StbCommandLine& out,
                         std::string& error);

extern const char* const kStbUsage;
