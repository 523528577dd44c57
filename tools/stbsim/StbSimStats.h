#pragma once

#include <cstdint>
#include <vector>

// Figures of one simulator run, for the benchmarks and the tests.
struct StbSimStats {
    // For each answered request: microseconds from the request's last byte written to the
    // answer's first byte seen on the line.
    std::vector<double> latencyMicros;
    // The same, for STB_DATA_REQ only.
    std::vector<double> dataLatencyMicros;
    // Per box: the answer to its STB_START (the one answered), and to its first STB_DATA_REQ,
    // the first answer that can wait for anything the tool has to fetch for the box.
    std::vector<double> startMicros;
    std::vector<double> firstDataMicros;
    // Image bytes received (whether right or wrong) over all boxes.
    uint64_t imageBytes = 0;
    // Requests written, all kinds, repeats of STB_START included.
    uint64_t requests = 0;
    // STB_DATA_REQ frames written.
    uint64_t dataRequests = 0;
    // Seconds from the first STB_DATA_REQ written to the last image byte read, summed over boxes.
    double dataSeconds = 0;
    // Seconds of the whole run.
    double elapsedSeconds = 0;
    // Boxes that completed their download.
    int boxesDone = 0;
};
