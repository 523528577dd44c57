// What a station's journal of a box in flight costs: a slot's journal, with its box's record, is
// written once a second while the box loads, and with a wait for the disk once when the box
// begins. Prints the mean time of each kind of write, and the share of one core that one
// slot's updates take at once a second.
//
// Usage: bench_journal [folder, default $TMPDIR or /tmp] [updates, default 20000]

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "record/RecordId.h"
#include "station/StationJournal.h"

namespace {

SlotJournal Typical() {
    SlotJournal journal;
    journal.slot = "A1";
    journal.portLabel = "A1 (/dev/ttyUSB0)";
    journal.pid = 4711;
    journal.log = "/srv/line3/logs/.A1.4711.partial.log";
    journal.capture = "/srv/line3/caps/.A1.4711.partial.cap";
    BoxRecord box;
    box.id = NewRecordId();
    box.slot = "A1";
    box.device = "/dev/ttyUSB0";
    box.reason = "station stopped: no verdict";
    box.reasonCode = "station-killed";
    box.image = "/srv/line3/fw-2.4.sdl";
    box.imageSize = 8388608;
    box.imageSha256 = std::string(64, 'f');
    box.boxId = "SN4711";
    box.made = RecordProvenance{"1.0.0.1", "line3-pc", "L3-S1", "Ann", "line3-fw-2.4"};
    journal.box = box;
    return journal;
}

double CpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// The mean wall and CPU time of one call.
struct Cost {
    double wall = 0;
    double cpu = 0;
};

template <typename F>
Cost MeanCost(int times, F&& write) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuMicros();
    for (int i = 0; i < times; ++i) {
        write(i);
    }
    const double wall =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    return {wall / times, (CpuMicros() - cpu) / times};
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : (tmp != nullptr && *tmp ? tmp : "/tmp");
    const int updates = argc > 2 ? std::atoi(argv[2]) : 20000;
    const std::string report = folder + "/bench-journal-" + std::to_string(getpid()) + ".jsonl";
    std::FILE* made = std::fopen(report.c_str(), "w");
    if (made == nullptr) {
        std::perror(report.c_str());
        return 1;
    }
    std::fclose(made);
    Cost update;
    Cost begin;
    {
        Result<std::unique_ptr<StationJournal>> journal = StationJournal::Open(report, "/tmp/x");
        if (!journal || !*journal) {
            std::fprintf(stderr, "no journal beside %s\n", report.c_str());
            return 1;
        }
        SlotJournal slot = Typical();
        update = MeanCost(updates, [&](int i) {
            slot.box->bytes = i * 4096;
            (void)(*journal)->Write(0, slot, false);
        });
        begin = MeanCost(std::max(1, updates / 100), [&](int i) {
            slot.box->bytes = i;
            (void)(*journal)->Write(1, slot, true);
        });
    }
    std::remove(report.c_str());
    std::printf("journal beside %s\n", report.c_str());
    std::printf(
        "  update (once a second a slot):   %8.1f us, CPU %6.1f us: %.4f %% of a core a slot\n",
        update.wall, update.cpu, update.cpu / 1e4);
    std::printf("  box begins (waits for the disk): %8.1f us, CPU %6.1f us\n", begin.wall,
                begin.cpu);
    return 0;
}
