// bench_download: whole downloads between the simulated box and stavel over pseudo-terminals.
//
//   bench_download [--stavel PATH] [--responder] [--size N] [--paced-size N] [--baud N]
//                  [--skip-paced]
//
// Unpaced runs give throughput (MB/s = 10^6 bytes per second of the data phase: first
// STB_DATA_REQ written to last image byte read) and the tool's CPU seconds (wait4). Turnaround
// is the time from a request's last byte written to the answer's first byte seen by the box.
// The paced run holds both directions to the line rate (baud / 10 bytes per second for 8N1) and
// compares the utilisation, image bytes per second over that rate, with the most a strictly
// alternating protocol allows: every block of B bytes costs its 9-byte request on the other
// direction first, so at best B / (B + 9) of the line time carries image bytes (taken over the
// real block sizes: image / (image + 9 x requests)); the turnaround only lowers it further.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/download/DownloadRun.h"

namespace {

struct Args {
    BenchConfig config;
    uint64_t size = 4u << 20;
    uint64_t pacedSize = 256u << 10;
    uint32_t baud = 115200;
    bool skipPaced = false;
};

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const size_t rank =
        static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size()) + 0.999999);
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

std::string NextToSelf(const char* name) {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    return path.substr(0, path.rfind('/') + 1) + name;
}

bool Parse(int argc, char** argv, Args& args) {
    args.config.stavel = NextToSelf("stavel");
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
        } else {
            std::fprintf(stderr,
                         "usage: bench_download [--stavel PATH] [--responder] [--size N] "
                         "[--paced-size N] [--baud N] [--skip-paced]\n");
            return false;
        }
    }
    return args.baud >= 10 && args.size <= UINT32_MAX && args.pacedSize <= UINT32_MAX;
}

void PrintUnpaced(const DownloadPlan& plan, const DownloadResult& r) {
    const auto& s = r.stats;
    std::printf("%-22s %9llu %6u %8.3f %8.2f %9.1f %9.1f %9.3f\n", plan.name.c_str(),
                static_cast<unsigned long long>(plan.imageSize), plan.blockSize, s.dataSeconds,
                s.dataSeconds > 0 ? s.imageBytes / s.dataSeconds / 1e6 : 0.0,
                Percentile(s.dataLatencyMicros, 50), Percentile(s.dataLatencyMicros, 99),
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
        "", Percentile(s.dataLatencyMicros, 50), Percentile(s.dataLatencyMicros, 99),
        r.toolCpuSeconds, r.wallSeconds,
        r.wallSeconds > 0 ? r.toolCpuSeconds / r.wallSeconds * 100 : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (!Parse(argc, argv, args)) {
        return 2;
    }
    char dir[] = "/tmp/bench_download-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    args.config.workDir = dir;
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
    std::vector<DownloadPlan> runs{{"unpaced 4096", args.size, 4096, 0},
                                   {"unpaced 65535", args.size, 65535, 0}};
    if (!args.skipPaced) {
        runs.push_back(
            {"paced " + std::to_string(args.baud), args.pacedSize, 4096, args.baud / 10});
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
    std::string cleanup = std::string("rm -rf ") + dir;
    [[maybe_unused]] int rc = std::system(cleanup.c_str());
    return failures == 0 ? 0 : 1;
}
