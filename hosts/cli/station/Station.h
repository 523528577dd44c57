#pragma once

// `stavel --port A --port B ... --image FILE`: a production station. Each port is a slot served
// by its own process (today's single-box run, SlotProcess.h) at the same time as the others; the
// station reads their events, writes every box's record to the one report, shows the table or
// the event lines, and ends with a tally.
//
// How it works. One thread polls the slots' event pipes and a descriptor the signal watcher
// writes to, and wakes once a second to redraw, report progress and retry slots whose adapter is
// gone. Each slot's process gets its own settings file in the station's temporary folder, so no
// two processes ever write one file. With --loop, a slot whose adapter is unplugged or busy
// waits for it, trying every second; the failure is recorded once per change, not per try.
// A signal is passed to every slot; each stops its box as the operator's Stop would (its record
// says so), and the tally follows once all have ended.
//
// Threading rules: Run on the main thread; OnSignal from the signal watcher.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "download/ReportFile.h"
#include "hosts/cli/CliOptions.h"
#include "hosts/cli/station/SlotProcess.h"
#include "hosts/cli/station/StationObserver.h"
#include "hosts/cli/station/StationView.h"

class Station {
  public:
    explicit Station(const CliOptions& options, StationObserver* observer = nullptr);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Serves every slot to its end; answers the exit status.
    int Run();
    // Any thread: SIGINT, SIGTERM or SIGHUP arrived.
    void OnSignal(int signo);

    // The station running now, for the signal watcher; null outside Run.
    static Station* Current();

  private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, Running, PortGone, Done };

    struct Slot {
        std::string name;  // the port as given
        std::string device;
        int number = 0;  // the COM number its log uses (0: the slot's own choice)
        std::string ini;
        std::string errorFile;
        SlotProcess process;
        Phase phase = Phase::Idle;
        SlotFigures status;
        long long bytes = 0;
        long long size = 0;
        bool heard = false;           // the box in hand has spoken
        bool judged = false;          // ... and has its record
        int boxes = 0;                // records written for this slot
        double seconds = 0;           // their time, summed
        std::string lastEnd;          // how the slot's last box ended ("port-lost", ...)
        std::string lastPortFailure;  // the reason last recorded for a port that would not open
        Clock::time_point nextTry{};
        Clock::time_point lastShown{};
    };

    bool Prepare(std::string& error);
    bool Spawn(Slot& slot);
    void Poll();
    void OnLine(Slot& slot, const std::string& line);
    void OnRecord(Slot& slot, const std::string& end, const std::string& recordText);
    void OnChildEnded(Slot& slot);
    void WriteRecord(Slot& slot, const std::string& recordText, bool pass,
                     const std::string& reason, double seconds);
    void RecordCrash(Slot& slot, const std::string& reason);
    void Tick();
    void StopAll(int signo);
    void SetState(Slot& slot, const std::string& state);
    void Show(Slot& slot, bool force);
    bool MoreBoxes(const Slot& slot) const;
    bool AllDone() const;
    void PrintTally();
    std::vector<SlotFigures> Statuses() const;

    const CliOptions& m_options;
    StationObserver m_noObserver;
    StationObserver* m_observer;
    StationView m_view;
    std::unique_ptr<ReportFile> m_report;
    std::string m_tempDir;
    std::vector<std::unique_ptr<Slot>> m_slots;
    int m_wakeFd = -1;
    std::atomic<int> m_signal{0};
    int m_stopSignal = 0;
    Clock::time_point m_stopDeadline{};
    bool m_reportFailed = false;
    bool m_unservable = false;  // a slot could not serve at all (its settings, its image)
};

// Runs the station for `options`, telling `observer` (may be null) as it goes; the exit status.
int RunStation(const CliOptions& options, StationObserver* observer = nullptr);
