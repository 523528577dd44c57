#pragma once

// The command line of a station's slot: the single-box program serving one port, telling the
// station its events on a descriptor. Every host that runs a station starts its slots alike.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/Station.h"

struct SlotOptions {
    std::string image;
    bool debug = false;
    bool loop = false;
    int timeoutSeconds = 120;
    std::optional<std::string> logDir;
    bool timestamps = false;
    std::optional<std::string> boxId;
    std::optional<std::string> sha256;
    std::optional<std::string> captureDir;
    std::int64_t captureMax = 0;
};

// The arguments after the program.
std::vector<std::string> SlotArguments(const SlotOptions& options, const SlotLaunch& launch);
