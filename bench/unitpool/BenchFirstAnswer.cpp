// bench_first_answer STAVEL [SLOTS] [BOXES] [BAUD]
//
// Does a job's [unit] delay a box's first answers? One station of SLOTS slots (16) serves BOXES
// boxes a slot (4), a 16 KiB image paced at BAUD (115200) on a pseudo-terminal per slot, once
// without [unit] and once with one (a counter and a list, in a SQLite pool beside the job).
// Each simulated box times, from its request's last byte to the answer's first, its STB_START's
// answer and its first STB_DATA_REQ's: the first answer that would wait for the pool. Prints
// p50, p99 and the largest of each, and the difference the unit makes. Figures, not pass/fail.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/digest/Sha256.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/process/ChildProcess.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

struct Figures {
    std::vector<double> start;
    std::vector<double> firstData;
    int status = -1;
    double seconds = 0;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)] / 1000.0;
}

std::string Job(const TempDir& dir, const std::vector<std::string>& ports, bool unit,
                const std::string& sha, int run) {
    std::string text = "name = \"bench\"\nimage = \"image.sdl\"\nsha256 = \"" + sha +
                       "\"\nreport = \"boxes" + std::to_string(run) + ".jsonl\"\n";
    text += "[slots]\n";
    for (std::size_t k = 0; k < ports.size(); ++k) {
        text += "S" + std::to_string(k + 1) + " = \"" + ports[k] + "\"\n";
    }
    if (unit) {
        text +=
            "[unit]\nregion = { offset = 0x100, length = 64 }\n"
            "store = \"sqlite:units" +
            std::to_string(run) +
            ".db\"\nfields = [\n"
            "  { name = \"serial\", at = 0, length = 16, format = \"ascii\","
            " from = { counter = \"SN{:08d}\", start = 1 } },\n"
            "  { name = \"mac\", at = 16, length = 6, format = \"mac\","
            " from = { list = \"macs.csv\", column = \"mac\" } },\n]\n"
            "checksum = { kind = \"crc32\", over = [0x100, 0x13C], at = 0x13C }\n"
            "warn_below = 10\n";
    }
    const std::string path = dir.File("job" + std::to_string(run) + ".toml");
    WriteBytes(path, text);
    return path;
}

Figures Run(const std::string& stavel, const TempDir& dir, const std::vector<uint8_t>& image,
            const std::string& sha, int slots, int boxes, std::uint32_t baud, bool unit, int run) {
    StbSimOptions options;
    options.image = image;
    options.blockSize = 4096;
    options.lineBytesPerSecond = baud / 10;
    options.boxes = boxes;
    options.regionOffset = 0x100;
    options.regionLength = 64;
    options.startTimeoutMs = 60000;
    std::vector<std::unique_ptr<StbSimulator>> sims;
    std::vector<std::string> ports;
    for (int k = 0; k < slots; ++k) {
        sims.push_back(std::make_unique<StbSimulator>(options));
        if (!sims.back()->OpenPty()) {
            std::fprintf(stderr, "cannot make a pseudo-terminal\n");
            std::exit(1);
        }
        ports.push_back(sims.back()->SlavePath());
    }
    const std::string job = Job(dir, ports, unit, sha, run);
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (auto& sim : sims) {
        threads.emplace_back([&sim, &failed] {
            if (!sim->Run().ok) {
                ++failed;
            }
        });
    }
    const auto t0 = std::chrono::steady_clock::now();
    ChildProcess station(
        {stavel, "--job", job, "--loop", "--count", std::to_string(boxes), "--quiet"});
    const ChildProcess::End end = station.Wait(std::chrono::seconds(600));
    for (auto& sim : sims) {
        sim->Stop();
    }
    for (auto& thread : threads) {
        thread.join();
    }
    Figures f;
    f.status = end.exited ? end.status : 128 + end.signal;
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (const auto& sim : sims) {
        const StbSimStats& s = sim->Stats();
        f.start.insert(f.start.end(), s.startMicros.begin(), s.startMicros.end());
        f.firstData.insert(f.firstData.end(), s.firstDataMicros.begin(), s.firstDataMicros.end());
    }
    if (failed > 0 || f.status != 0) {
        std::fprintf(stderr, "%s: %d box(es) failed, station exit %d\n%s\n",
                     unit ? "with [unit]" : "without", failed.load(), f.status,
                     station.Stderr().c_str());
    }
    return f;
}

void Show(const char* what, const Figures& f) {
    std::printf("%-14s %3zu boxes, station %.1f s, exit %d\n", what, f.firstData.size(), f.seconds,
                f.status);
    std::printf("  STB_START answer      p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms\n",
                Percentile(f.start, 0.5), Percentile(f.start, 0.99), Percentile(f.start, 1));
    std::printf("  first data answer     p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms\n",
                Percentile(f.firstData, 0.5), Percentile(f.firstData, 0.99),
                Percentile(f.firstData, 1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_first_answer STAVEL [SLOTS] [BOXES] [BAUD]\n");
        return 2;
    }
    const std::string stavel = argv[1];
    const int slots = argc > 2 ? std::atoi(argv[2]) : 16;
    const int boxes = argc > 3 ? std::atoi(argv[3]) : 4;
    const auto baud = static_cast<std::uint32_t>(argc > 4 ? std::atoi(argv[4]) : 115200);
    TempDir dir;
    const std::vector<uint8_t> image = stbsim::MakeTestImage(16384);
    WriteBytes(dir.File("image.sdl"), std::string(image.begin(), image.end()));
    const std::string sha = Sha256Hex(Sha256OfBytes(image.data(), image.size()));
    std::string macs = "mac\n";
    for (int i = 0; i < slots * boxes * 2 + 100; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "02:00:00:%02x:%02x:%02x\n", (i >> 16) & 0xFF,
                      (i >> 8) & 0xFF, i & 0xFF);
        macs += line;
    }
    WriteBytes(dir.File("macs.csv"), macs);
    std::printf("%d slots, %d boxes a slot, 16 KiB image paced at %u baud\n", slots, boxes, baud);
    const Figures plain = Run(stavel, dir, image, sha, slots, boxes, baud, false, 1);
    Show("without [unit]", plain);
    const Figures unit = Run(stavel, dir, image, sha, slots, boxes, baud, true, 2);
    Show("with [unit]", unit);
    std::printf(
        "the unit's delay: first data answer p50 %+.2f ms, p99 %+.2f ms; STB_START p50 "
        "%+.2f ms, p99 %+.2f ms\n",
        Percentile(unit.firstData, 0.5) - Percentile(plain.firstData, 0.5),
        Percentile(unit.firstData, 0.99) - Percentile(plain.firstData, 0.99),
        Percentile(unit.start, 0.5) - Percentile(plain.start, 0.5),
        Percentile(unit.start, 0.99) - Percentile(plain.start, 0.99));
    return plain.status == 0 && unit.status == 0 ? 0 : 1;
}
