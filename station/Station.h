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
// waits for it, trying every second: a state of the slot, shown once per change, not a box.
// Each slot's process sends the download's events (ChildEvents.h), and the station keeps every
// slot's session from them, so a box whose process dies still gets its full record. A signal is
// passed to every slot; each stops its box as the operator's Stop would (its record says
// ABORTED), and the tally follows once all have ended. A record that cannot be written stops
// the station gently: the boxes in flight finish, no new one is taken, and it ends with 8. So
// does the operator's first Ctrl-C (SIGUSR1 from the signal watcher), and the run's status then
// follows the verdicts; a second Ctrl-C, SIGTERM or SIGHUP stops at once.
//
// Threading rules: Run on the main thread; OnSignal from the signal watcher.

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "download/SlotStatus.h"
#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "record/BoxRecord.h"
#include "record/PassedBoxes.h"
#include "record/ReportFile.h"
#include "station/SlotProcess.h"
#include "station/StationObserver.h"
#include "station/StationView.h"

// What a slot's process is started for.
struct SlotLaunch {
    std::string label;  // the slot's name: its label, or the port as given
    std::string port;   // as the operator gave it
    std::string ini;    // the slot's own copy of the settings
    int number = 0;     // the COM number its log uses (0: the slot's own choice)
    int boxes = 0;      // the boxes it may serve; 0: until stopped
    int eventsFd = 3;   // where it tells its events
};

struct StationConfig {
    std::vector<std::string> ports;   // one slot each
    std::vector<std::string> labels;  // each slot's name, in the same order
    std::string image;
    std::optional<std::string> ini;
    std::optional<std::string> report;
    std::optional<std::string> logDir;
    bool loop = false;
    int count = 0;  // with loop: boxes per slot; 0: until stopped
    bool json = false;
    // The program that serves one slot (empty: this program), and its arguments.
    std::string program;
    std::function<std::vector<std::string>(const SlotLaunch&)> slotCommand;
    // Where and by whom: every record the station writes carries it, whoever judged the box.
    RecordProvenance made;
};

// How a station ended, for the host to turn into its exit status.
struct StationEnd {
    int signal = 0;                 // the operator's signal that stopped it
    bool recordNotWritten = false;  // a record, or a box's log, could not be written
    bool unservable = false;        // the station, or a slot, could not serve at all
    bool someFailed = false;
    bool wrongImage = false;  // a slot's START found an image the line does not serve
};

class Station {
  public:
    explicit Station(StationConfig config, StationObserver* observer = nullptr);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Serves every slot to its end.
    StationEnd Run();
    // Any thread: as the operator's first Ctrl-C, the boxes in flight finish and no slot takes
    // another; as a second one, every box stops now.
    void AskFinish() { OnSignal(SIGUSR1); }
    void AskStopNow() { OnSignal(SIGTERM); }
    // Any thread: SIGINT, SIGTERM or SIGHUP arrived.
    void OnSignal(int signo);

    // The station running now, for the signal watcher; null outside Run.
    static Station* Current();

  private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, Running, Restarting, Done };

    struct Slot;
    // The supervisor's copy of a slot's session hears through this.
    struct SessionSink final : BoxSession::Sink {
        Station* station = nullptr;
        Slot* slot = nullptr;
        void OnSlotState(SlotState state, const SysFailure& why) override;
        void OnProgress(const ProgressFigures& figures) override;
        void OnSessionEnded(const SessionEnd& end) override;
    };

    struct Slot {
        std::string port;  // as the operator gave it
        std::string device;
        int number = 0;  // the COM number its log uses (0: the slot's own choice)
        std::string ini;
        std::string errorFile;
        SlotProcess process;
        Phase phase = Phase::Idle;
        SlotStatus status;
        SessionSink sink;
        std::unique_ptr<BoxSession> session;
        Json childRecord;    // the record the slot sent with its box's end, or null
        int boxes = 0;       // records written for this slot
        double seconds = 0;  // their time, summed
        Clock::time_point nextTry{};
        Clock::time_point lastWord{};                 // the slot's process last said anything
        bool hung = false;                            // killed by the watchdog
        SlotState noted = SlotState::WaitingForPort;  // the last state said in a line
        Clock::time_point lastShown{};
    };

    Result<void> Prepare();
    bool Spawn(Slot& slot);
    void Poll();
    void OnLine(Slot& slot, const std::string& line);
    void OnState(Slot& slot, SlotState state, const SysFailure& why);
    void OnBoxEnded(Slot& slot, const SessionEnd& end);
    void OnChildEnded(Slot& slot);
    void WriteRecord(Slot& slot, const Json& judged);
    void Tick();
    void StopAll(int signo);
    void FinishAll();
    void FinishGently();
    // A note for the operator: on the station's screen and to its observer.
    void Note(const std::string& text);
    void Show(Slot& slot, bool force);
    bool MoreBoxes(const Slot& slot) const;
    bool AllDone() const;
    void PrintTally();
    std::vector<SlotStatus> Statuses() const;

    const StationConfig m_config;
    StationObserver m_noObserver;
    StationObserver* m_observer;
    StationView m_view;
    std::unique_ptr<ReportFile> m_report;
    PassedBoxes m_passed;  // for --box-id: the boxes that passed before
    std::string m_tempDir;
    std::vector<std::unique_ptr<Slot>> m_slots;
    UniqueFd m_wakeFd;
    int m_wakeError = 0;
    std::atomic<int> m_signal{0};
    std::atomic<bool> m_finishAsked{false};  // SIGUSR1: the operator's first Ctrl-C
    bool m_finishing = false;                // the boxes in flight finish; no new one is taken
    int m_stopSignal = 0;
    Clock::time_point m_stopDeadline{};
    bool m_recordFailed = false;  // a record could not be written: no new box is taken
    bool m_logsLost = false;      // a box's log could not be written whole: the end says 8
    bool m_unservable = false;    // a slot could not serve at all (its settings, its image)
    bool m_wrongImage = false;    // a slot found the image is not the one the line requires
};

// Runs the station for `config`, telling `observer` (may be null) as it goes.
StationEnd RunStation(StationConfig config, StationObserver* observer = nullptr);
