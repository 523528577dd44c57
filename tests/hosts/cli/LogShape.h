#pragma once

// Checks of a whole download's log whose box text is not known in advance (the simulated box
// decides when to print its console lines): the tool's own lines are checked exactly, in
// order, around it.

#include <cstdint>
#include <string>

struct LogShape {
    int port = 0;
    std::string image;
    std::uint64_t size = 0;
    std::uint32_t blockSize = 0;
    bool debug = false;
    int downloads = 1;
};

// Adds a gtest failure for each way `out` differs from the log of `shape`.
void ExpectDownloadLog(const std::string& out, const LogShape& shape);
