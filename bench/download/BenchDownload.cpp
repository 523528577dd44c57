// bench_download: whole downloads between the simulated box and stavel over pseudo-terminals.
//
//   bench_download [--stavel PATH] [--responder] [--size N] [--paced-size N] [--baud N]
//                  [--skip-paced] [--line-size N] [--skip-line] [--only-line]
//
// Unpaced runs give throughput (MB/s = 10^6 bytes per second of the data phase: first
// STB_DATA_REQ written to last image byte read) and the tool's CPU seconds (wait4). Turnaround
// is the time from a request's last byte written to the answer's first byte seen by the box.
// The paced run holds both directions to the line rate (baud / 10 bytes per second for 8N1) and
// compares the utilisation, image bytes per second over that rate, with the most a strictly
// alternating protocol allows: every block of B bytes costs its 9-byte request on the other
// direction first, so at best B / (B + 9) of the line time carries image bytes (taken over the
// real block sizes: image / (image + 9 x requests)); the turnaround only lowers it further.
//
// The line-model runs put a modelled adapter between the box and the server (bench/linemodel):
// a 16550 UART both ways, and an FTDI USB adapter both ways. Each gives the utilisation of
// stavel and of a plain server that writes whole blocks and never waits for the wire, beside
// the closed-form ideal of a server that answers the instant a request reaches it: per block,
// the request's 9 bytes, the adapter's receive delay (half a 1 ms packet on average for FTDI,
// four character times for a 16550) and the block's bytes, all at the line rate.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/download/DownloadRun.h"
#include "bench/stats/Percentile.h"
#include "tests/support/files/TempDir.h"

namespace {

struct Args {
    BenchConfig config;
    uint64_t size = 4u << 20;
    uint64_t pacedSize = 256u << 10;
    uint32_t baud = 115200;
    bool skipPaced = false;
    uint64_t lineSize = 256u << 10;
    bool skipLine = false;
    bool onlyLine = false;
};

std::string NextToSelf(const char* name) {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    return path.substr(0, path.rfind('/') + 1) + name;
}

bool Parse(int argc, char** argv, Args& args) {
    args.config.stavel = NextToSelf("stavel");
    args.config.preload = NextToSelf("liblinemodel_preload.so");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--stavel" && hasValue) {
            args.config.stavel = argv[++i];
        } else if (arg == "--responder") {
            args.config.useResponder = true;
        } else if (arg == "--size" && hasValue) {
            args.size = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--paced-size" && hasValue) {
            args.pacedSize = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--baud" && hasValue) {
            args.baud = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--skip-paced") {
            args.skipPaced = true;
        } else if (arg == "--line-size" && hasValue) {
            args.lineSize = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--skip-line") {
            args.skipLine = true;
        } else if (arg == "--only-line") {
            args.onlyLine = true;
        } else {
            std::fprintf(stderr,
                         "usage: bench_download [--stavel PATH] [--responder] [--size N] "
                         "[--paced-size N] [--baud N] [--skip-paced] [--line-size N] "
                         "[--skip-line] [--only-line]\n");
            return false;
        }
    }
    return args.baud >= 10 && args.size <= UINT32_MAX && args.pacedSize <= UINT32_MAX &&
           args.lineSize <= UINT32_MAX;
}

void PrintUnpaced(const DownloadPlan& plan, const DownloadResult& r) {
    const auto& s = r.stats;
    std::printf("%-22s %9llu %6u %8.3f %8.2f %9.1f %9.1f %9.3f\n", plan.name.c_str(),
                static_cast<unsigned long long>(plan.imageSize), plan.blockSize, s.dataSeconds,
                s.dataSeconds > 0 ? s.imageBytes / s.dataSeconds / 1e6 : 0.0,
                Percentile(s.dataLatencyMicros, 0.50), Percentile(s.dataLatencyMicros, 0.99),
                r.toolCpuSeconds);
}

void PrintPaced(const DownloadPlan& plan, const DownloadResult& r) {
    const auto& s = r.stats;
    const double rate = plan.lineBytesPerSecond;
    const double utilisation = s.dataSeconds > 0 ? s.imageBytes / s.dataSeconds / rate : 0;
    const double maximum =
        static_cast<double>(s.imageBytes) / (s.imageBytes + 9.0 * s.dataRequests);
    std::printf(
        "%-22s %9llu %6u %8.3f  utilisation %.2f %% of %u B/s; protocol maximum %.2f %%; "
        "%.2f %% of the maximum\n",
        plan.name.c_str(), static_cast<unsigned long long>(plan.imageSize), plan.blockSize,
        s.dataSeconds, utilisation * 100, plan.lineBytesPerSecond, maximum * 100,
        maximum > 0 ? utilisation / maximum * 100 : 0.0);
    std::printf(
        "%-22s turnaround p50 %.1f us, p99 %.1f us; tool CPU %.3f s over %.2f s = %.2f %% "
        "of one core\n",
        "", Percentile(s.dataLatencyMicros, 0.50), Percentile(s.dataLatencyMicros, 0.99),
        r.toolCpuSeconds, r.wallSeconds,
        r.wallSeconds > 0 ? r.toolCpuSeconds / r.wallSeconds * 100 : 0.0);
}

// The closed-form ideal: every request costs its bytes, the adapter's receive delay and its
// block's bytes on the line, one after the other.
double IdealUtilisation(const LineModelConfig& line, const StbSimStats& s) {
    const double byteSeconds = 1.0 / line.bytesPerSecond;
    const double rxDelay = line.kind == LineKind::Ftdi ? line.packetNs / 2e9 : 4 * byteSeconds;
    const double seconds = s.dataRequests * (9 * byteSeconds + rxDelay) +
                           static_cast<double>(s.imageBytes) * byteSeconds;
    return seconds > 0 ? s.imageBytes * byteSeconds / seconds : 0;
}

int RunLineModel(const Args& args, LineKind kind) {
    const uint32_t rate = args.baud / 10;
    const LineModelConfig line = LineModelConfig::For(kind, rate);
    std::printf(
        "\nline model: %s both ways, %u B/s, FIFO %u B, tcdrain looks every %.0f ms at %.0f ms "
        "a look, receive %s; %llu-byte image\n",
        LineKindName(kind), rate, line.fifo, line.tickNs / 1e6, line.drainLookNs / 1e6,
        kind == LineKind::Ftdi ? "in 1 ms packets" : "at 14 bytes or 4 quiet character times",
        static_cast<unsigned long long>(args.lineSize));
    std::printf("%6s %-7s %11s %8s %9s %7s %9s %8s %7s\n", "block", "server", "utilisation",
                "ideal", "of ideal", "drains", "TIOCOUTQ", "drain s", "CPU %");
    int failures = 0;
    for (const uint32_t block : {4096u, 256u}) {
        for (const bool plain : {false, true}) {
            BenchConfig config = args.config;
            config.useResponder = plain;
            const DownloadPlan plan{std::string(LineKindName(kind)) + " " + std::to_string(block),
                                    args.lineSize, block, rate, kind};
            const DownloadResult r = RunDownload(plan, config);
            if (!r.ok) {
                std::printf("%6u %-7s FAILED: %s\n", block, plain ? "plain" : "stavel",
                            r.message.c_str());
                ++failures;
                continue;
            }
            const auto& s = r.stats;
            const double utilisation = s.dataSeconds > 0 ? s.imageBytes / s.dataSeconds / rate : 0;
            const double ideal = IdealUtilisation(line, s);
            // The plain server shares this process with the model and the box: no CPU figure.
            char cpu[16] = "-";
            if (!plain && r.wallSeconds > 0) {
                std::snprintf(cpu, sizeof cpu, "%.2f", r.toolCpuSeconds / r.wallSeconds * 100);
            }
            std::printf("%6u %-7s %10.2f %% %6.2f %% %7.2f %% %7llu %9llu %8.3f %7s\n", block,
                        plain ? "plain" : "stavel", utilisation * 100, ideal * 100,
                        ideal > 0 ? utilisation / ideal * 100 : 0.0,
                        static_cast<unsigned long long>(r.drainCalls),
                        static_cast<unsigned long long>(r.outqCalls), r.drainSeconds, cpu);
            std::fflush(stdout);
        }
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (!Parse(argc, argv, args)) {
        return 2;
    }
    const TempDir dir;
    args.config.workDir = dir.Path();
    if (!args.config.useResponder && access(args.config.stavel.c_str(), X_OK) != 0) {
        std::fprintf(stderr,
                     "bench_download: no stavel program at %s (--stavel PATH, or "
                     "--responder to measure the reference responder)\n",
                     args.config.stavel.c_str());
        return 2;
    }
    std::printf("tool: %s\n", args.config.useResponder ? "reference responder (in process)"
                                                       : args.config.stavel.c_str());
    std::printf("%-22s %9s %6s %8s %8s %9s %9s %9s\n", "run", "image", "block", "data s", "MB/s",
                "p50 us", "p99 us", "CPU s");
    int failures = 0;
    std::vector<DownloadPlan> runs;
    if (!args.onlyLine) {
        runs = {{"unpaced 4096", args.size, 4096, 0, {}},
                {"unpaced 65535", args.size, 65535, 0, {}}};
    }
    if (!args.skipPaced && !args.onlyLine) {
        runs.push_back(
            {"paced " + std::to_string(args.baud), args.pacedSize, 4096, args.baud / 10, {}});
    }
    for (const auto& plan : runs) {
        const DownloadResult result = RunDownload(plan, args.config);
        if (!result.ok) {
            std::printf("%-22s FAILED: %s\n", plan.name.c_str(), result.message.c_str());
            ++failures;
        } else if (plan.lineBytesPerSecond == 0) {
            PrintUnpaced(plan, result);
        } else {
            PrintPaced(plan, result);
        }
        std::fflush(stdout);
    }
    if (!args.skipLine && !args.config.useResponder) {
        if (access(args.config.preload.c_str(), R_OK) != 0) {
            std::printf("line model: no shim at %s\n", args.config.preload.c_str());
            ++failures;
        } else {
            failures += RunLineModel(args, LineKind::Uart16550);
            failures += RunLineModel(args, LineKind::Ftdi);
        }
    }
    return failures == 0 ? 0 : 1;
}
