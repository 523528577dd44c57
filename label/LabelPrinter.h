#pragma once

// Where a label goes, as a job names it:
//
//   printer = "tcp://10.0.3.7:9100"   the printer's raw port
//   printer = "cups:zebra3"           lp -d zebra3 -o raw, run without a shell
//   printer = "dir:labels"            a file per label, named after the record's id
//
// Sending is bounded: the box's record waits for its label, and a printer that hangs must not
// hold the line.

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/base/Result.h"

struct LabelPrinter {
    enum class Kind { Tcp, Cups, Dir };
    Kind kind = Kind::Tcp;
    std::string host;   // tcp
    std::string port;   // tcp, as digits
    std::string queue;  // cups
    std::string dir;    // dir, a whole path
};

// Reads a printer as the job gives it, a folder taken from `folder`; the failure's reason says
// what the printer should look like.
Result<LabelPrinter> ParseLabelPrinter(const std::string& text,
                                       const std::filesystem::path& folder);

// The printer as a job would give it, with a folder as a whole path.
std::string LabelPrinterText(const LabelPrinter& printer);

inline constexpr std::chrono::milliseconds kLabelBound{5000};

// Sends one label, `id` naming its file in a folder; fails with why within `bound`.
Result<void> SendLabel(const LabelPrinter& printer, const std::string& label, const std::string& id,
                       std::chrono::milliseconds bound = kLabelBound);
