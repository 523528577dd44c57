#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench/linemodel/LineModel.h"
#include "tools/stbsim/StbSimStats.h"

// One measured download: the simulated box against the stavel program (or, for comparison and
// before stavel exists, against the reference responder in this process).
struct DownloadPlan {
    std::string name;
    uint64_t imageSize = 0;
    uint32_t blockSize = 4096;
    uint32_t lineBytesPerSecond = 0;  // 0 = unpaced
    std::optional<LineKind> line;     // a modelled adapter between the box and the tool
};

struct BenchConfig {
    std::string stavel;  // path of the stavel program
    bool useResponder = false;
    std::string workDir;  // image, INI file and the tool's output go here
    std::string preload;  // the line model's shim for the stavel program
};

struct DownloadResult {
    bool ok = false;
    std::string message;  // the box's verdict, or why the run could not be made
    StbSimStats stats;
    double toolCpuSeconds = 0;  // stavel's user + system time (with the responder: this process)
    double wallSeconds = 0;     // from the tool's start to its exit
    int toolExit = 0;
    // With a line model: the tool's waits for the wire.
    uint64_t drainCalls = 0;
    uint64_t outqCalls = 0;
    double drainSeconds = 0;
};

DownloadResult RunDownload(const DownloadPlan& plan, const BenchConfig& config);
