#pragma once

// `stavel --port A --port B ... --image FILE`: a production station. Each port is a slot served
// by a process of its own (slot/ServeSlot.h) at the same time as the others; the supervisor here
// keeps the policy: it starts each slot with its configuration down the slot's channel, keeps a
// copy of every slot's session from the events the slot sends, keeps every box's record in one
// record book (the report), starts again a slot that died, kills one that stopped answering,
// stops them gently or at once, and tells its observers (a terminal's table, a window, a
// publisher for the line's broker) everything as it goes.
//
// How it works. One thread waits on the slots' transport (SlotPeer.h) and wakes at least once a
// second to tell the slots' figures and retry slots that died. Each slot gets its own settings
// file in the station's temporary folder, so no two processes ever write one file. A box whose
// slot dies (or whose channel closes, or brings a frame that does not decode) gets its full
// record from the station's copy of its session. The operator's first Ctrl-C (AskFinish) lets
// the boxes in flight finish and takes no new one, and the run's status then follows the
// verdicts; a second one, SIGTERM or SIGHUP (AskStopNow) stops every box now, each with its
// ABORTED record, and a slot that has not ended within the stop bound is killed. A record that
// cannot be written stops the station gently and ends it with 8. An image replaced under the
// line (a slot's START refused it) stops every slot gently and ends it with 6.
//
// Power and retries (StationRetry.cpp). With a job's [power] the station switches each slot's
// box on at Start, between a box's attempts (off, the plan's off time, on) and after a box's
// final attempt as the plan says; each action runs off this thread within its bound, and one
// that fails makes the slot's state "power control failed: ..." (said once; no box is counted
// for it), after which a retry goes on without power control. A failed box whose reason the
// job's retry_on names is tried again on its slot, up to `retries` times: every attempt keeps
// its record (attempt, final, retry_of, the first attempt's box id), the box counts once, by
// its final attempt. A retry whose box does not begin within the silence bound ends as a final
// attempt of its own, FAIL box silent. `take_out_after` failed boxes in a row take a slot out:
// its box in hand finishes, it takes no other, the others go on; a station whose every slot is
// out ends with its own status.
//
// No box without a record, even when the station itself is killed. Beside its report the station
// keeps a journal of each slot (StationJournal.h): the slot's process and its hidden files, and
// the box in flight as its record would read, written when the box begins and about once a
// second while it loads, cleared once its record is kept. A start beside the same report first
// records the boxes a killed run had in flight, from its journals (StationRecovery.h), and shows
// each on its slot as the slot's last verdict. A slot killed mid-box (the watchdog, a signal) has
// its box's log and capture closed by the station, under their final names.
//
// Threading rules: Run, and the steps it takes, on one thread; AskFinish and AskStopNow from
// any thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "download/SlotStatus.h"
#include "platform/base/Result.h"
#include "record/BoxRecord.h"
#include "record/RecordBook.h"
#include "slot/SlotChannel.h"
#include "slot/SlotConfig.h"
#include "slot/UnitDealer.h"
#include "station/LabelReprinter.h"
#include "station/PowerControl.h"
#include "station/PowerPlan.h"
#include "station/RetryPolicy.h"
#include "station/ScanDesk.h"
#include "station/SlotPeer.h"
#include "station/StationEnd.h"
#include "station/StationFiles.h"
#include "station/StationJournal.h"
#include "station/StationObserver.h"

struct StationConfig {
    std::vector<std::string> ports;   // one slot each
    std::vector<std::string> labels;  // each slot's name, in the same order
    std::optional<std::string> ini;   // copied for each slot
    std::optional<std::string> report;
    bool loop = false;
    int count = 0;  // with loop: boxes per slot; 0: until stopped
    // What every slot is served with; the station fills in each slot's port, label, settings
    // file, COM number and boxes. Its image must be readable and its log folder writable.
    SlotConfig slot;
    // Where and by whom: every record the station keeps carries it, whoever judged the box.
    RecordProvenance made;
    // The program that serves one slot (empty: this program).
    std::string program;
    // What starts the slots (null: processes of `program`), and the clock the supervisor's
    // bounds are counted by (empty: the steady clock); tests give their own.
    SlotTransport* transport = nullptr;
    std::function<std::chrono::steady_clock::time_point()> clock;
    // A job with a [unit] (slot.unit): the pool each box's own data is dealt from, one unit
    // ahead for each slot, and each lease settled by its box's end.
    UnitDealer* units = nullptr;
    // Power control (a job's [power]): its timing, and the switches that carry its actions out.
    std::optional<PowerPlan> power;
    PowerControl* switches = nullptr;
    // A failed box tried again on its slot, and a slot whose boxes keep failing taken out.
    RetryPolicy retry;
    // Each box's scan (StationScan.cpp), and whether a box that passed before is refused.
    ScanPolicy scan;
    // Where else a box's earlier pass is looked for once the report and the run know none (the
    // job's database); what keeps it from answering goes to `say`. Empty: nowhere else.
    std::function<std::optional<PassedBoxes::Earlier>(
        const std::string& boxId, const std::function<void(const std::string&)>& say)>
        earlierPass;
};

class Station final : private SlotTransport::Ears {
  public:
    using Clock = std::chrono::steady_clock;
    // A slot's process beats once a second while it lives. One silent for longer than the
    // longest answer needs on the wire (65,535 bytes at the line's rate, 8N1: 5.7 s at 115200,
    // 68 s at 9600), the port's stall bound and 5 s more is stuck (stopped, or its UI thread
    // wedged): it is killed and its box fails.
    static Clock::duration WatchdogFor(std::uint32_t baud);
    // A slot asked to stop has this long to end before it is killed: well within the grace a
    // signalled process gives itself (platform/host/SignalStop.h), so that the station still
    // reaps every slot and shows its tally.
    static constexpr Clock::duration kStopBound = std::chrono::milliseconds(3500);
    // How often the supervisor tells figures and retries; a slot that died starts again after it.
    static constexpr Clock::duration kTick = std::chrono::seconds(1);

    explicit Station(StationConfig config, StationObserver* observer = nullptr);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Serves every slot to its end.
    StationEnd Run();
    // Any thread: the boxes in flight finish and no slot takes another (the first Ctrl-C).
    void AskFinish();
    // Any thread: every box stops now (a second Ctrl-C, SIGTERM, SIGHUP); the run's status
    // says `signo`.
    void AskStopNow(int signo);
    // Any thread: the slot labelled `label` is put back into service, or taken out (the box in
    // hand finishes; it takes no other). False for a label the station has no slot of.
    bool AskPutBack(const std::string& label);
    bool AskTakeOut(const std::string& label);
    // Any thread: an operator's scan (ScanDesk.h). What became of it is told to the observer
    // (OnScan) and to `answered`, both on the supervisor's thread.
    void AskScan(std::string scan, std::function<void(const ScanNews&)> answered = {});
    // Any thread: the label of the last box that passed on the slot labelled `label` is printed
    // again; what became of it is said to the observer. False for a label the station has no
    // slot of.
    bool AskReprint(const std::string& label);

    // The steps Run takes, for a test to take in memory one by one.
    // Prepares the folders and the report and starts every slot; false when the station cannot
    // serve at all (said to the observer).
    bool Begin();
    // Hears what the slots say, waiting for it at most `bound`.
    void Listen(std::chrono::milliseconds bound) { m_transport.Wait(bound, *this); }
    // What was asked from other threads since.
    void TakeAsks();
    // About once a second: figures, journals, retries, the watchdog, the stop bound.
    void Tick();
    // How long Listen may wait: no longer than `most`, nor past the stop bound.
    std::chrono::milliseconds ListenBound(std::chrono::milliseconds most) const;
    // Kills the slots still running past the stop bound.
    void KillPastStopBound();
    void Finish();
    void StopNow(int signo);
    bool Done() const;
    // Tells the observers the station has ended and answers how.
    StationEnd End();

  private:
    enum class Phase { Idle, Running, Restarting, Done, TakenOut };
    struct Slot;
    // The supervisor's copy of a slot's session hears through this.
    struct SessionSink final : BoxSession::Sink {
        Station* station = nullptr;
        Slot* slot = nullptr;
        void OnSlotState(SlotState state, const SysFailure& why) override {
            station->OnState(*slot, state, why);
        }
        void OnProgress(const ProgressFigures& figures) override {
            station->OnProgress(*slot, figures);
        }
        void OnSessionEnded(const SessionEnd& end) override { station->OnBoxEnded(*slot, end); }
    };

    void OnFrame(std::size_t slot, const std::optional<Json>& message) override;
    void OnExit(std::size_t slot, const SlotExit& exit) override;

    Clock::time_point Now() const;
    Result<void> Prepare();
    void Recover();
    bool Spawn(Slot& slot);
    // Writes the slot's journal: its process, its files and the box in flight.
    void Journal(Slot& slot, bool sync);
    std::string PortLabel(const Slot& slot) const;
    // The box of a slot whose process is gone: its hidden log and capture get their final names.
    void CloseKilledFiles(Slot& slot, BoxRecord& record, const DownloadEnded& ended);
    void Hear(Slot& slot, const UpMessage& message);
    void OnState(Slot& slot, SlotState state, const SysFailure& why);
    void OnProgress(Slot& slot, const ProgressFigures& figures);
    void OnBoxEnded(Slot& slot, const SessionEnd& end);
    // `slotJudged`: the record is the slot's own, which says whether its log is whole.
    void Keep(Slot& slot, const BoxRecord& judged, bool slotJudged);
    void FinishAll();
    // StationRetry.cpp: power actions, retries, taking out and putting back.
    // The attempt the slot's record is of, tagged; whether another follows it.
    bool TagAttempt(Slot& slot, BoxRecord& record, bool mayRetry) const;
    void AfterAttempt(Slot& slot, const BoxRecord& kept, bool retry);
    void PowerAct(Slot& slot, PowerAction action);
    void TakePowerDone();
    void OnPowerDone(Slot& slot, PowerAction action, const PowerOutcome& outcome);
    void PowerFailed(Slot& slot, const std::string& reason);
    void ArmRetry(Slot& slot);
    void RetryTick(Slot& slot);
    void JudgeSilentRetry(Slot& slot);
    // Queues an operator's put-back or take-out for the supervisor's thread.
    bool AskForSlot(const std::string& label, bool putBack);
    void TakeOut(Slot& slot, const std::string& why);
    void PutBack(Slot& slot);
    void TakeSlotAsks();
    // StationScan.cpp: scans given to slots, and boxes refused as repeats.
    void TakeScanAsks();
    void TakeScan(const std::string& scan, const std::function<void(const ScanNews&)>& answered);
    // Which slots wait for their next box's scan now, in the station's order.
    std::vector<bool> ScanWaits() const;
    // Each slot's scan as its status shows it; a slot whose scan changed is shown again.
    void UpdateScans();
    // Sends the slot's scan (and a refusal before it) down its channel.
    void SendScan(Slot& slot);
    // The box's console named it: one that passed before is refused (repeats = "block").
    void OnConsoleId(Slot& slot, const std::string& boxId);
    // The box's final attempt is kept: the slot's next box needs a scan of its own.
    void ForgetScan(Slot& slot);
    // The first pass of the box `boxId`: in the report or this run, else where the host says.
    std::optional<PassedBoxes::Earlier> EarlierPass(const std::string& boxId);
    void TakeReprintAsks();
    // A slot taken out, or whose power failed, says so over what its process says it does.
    void Overlay(Slot& slot);
    void ShowOverlay(Slot& slot);
    // Whether the slot's processes are to serve box after box whatever the run's count: the
    // station then ends them after their last box, which a retry may follow.
    bool StationCounts() const;
    void Note(const std::string& text);
    void Show(Slot& slot, bool force);
    void ShowAll();
    bool MoreBoxes(const Slot& slot) const;
    // The unit pool: the next box's unit for a slot, down its channel, dealt as soon as its
    // last box's record is kept so that no first answer waits for the pool; the
    // lease of a box that ended settled by the rule of the pool, and its unit named in a
    // record the station made; what a slot that ended left unsettled.
    void DealUnit(Slot& slot);
    void SettleUnit(Slot& slot, BoxRecord* record, bool slotJudged);
    void SettleLeftUnit(Slot& slot, bool clean);
    void Settle(Slot& slot, UnitDealer::Verdict verdict, const std::string& recordId);
    std::vector<SlotStatus> Statuses() const;

    const StationConfig m_config;
    StationObserver m_noObserver;
    StationObserver* m_observer;
    std::unique_ptr<SlotTransport> m_ownTransport;
    SlotTransport& m_transport;
    std::unique_ptr<StationFiles> m_files;
    std::optional<RecordBook> m_records;
    std::unique_ptr<StationJournal> m_journal;  // null without a report on disk
    bool m_journalTold = false;                 // a journal that could not be written was said
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::atomic<int> m_signal{0};
    std::atomic<bool> m_finishAsked{false};
    bool m_finishing = false;  // the boxes in flight finish; no new one is taken
    int m_stopSignal = 0;
    Clock::time_point m_stopDeadline{};
    bool m_recordFailed = false;  // a record could not be written: no new box is taken
    bool m_logsLost = false;      // a box's log could not be written whole: the end says 8
    bool m_unservable = false;    // a slot could not serve at all (its settings, its image)
    bool m_wrongImage = false;    // a slot found the image is not the one the line requires
    bool m_unitRefused = false;   // the pool gave no unit: no new box, and the end says 9
    std::mutex m_asksLock;        // the slots put back or taken out from other threads
    std::vector<std::pair<std::size_t, bool>> m_slotAsks;  // (slot, put back)
    std::vector<std::pair<std::string, std::function<void(const ScanNews&)>>> m_scanAsks;
    std::optional<ScanDesk> m_desk;  // with scan.required
    std::vector<std::size_t> m_reprintAsks;
    // With a job's label; last, so that it ends (and stops waking the transport) first.
    std::unique_ptr<LabelReprinter> m_reprinter;
};

// Runs the station for `config`, telling `observer` (may be null) as it goes.
StationEnd RunStation(StationConfig config, StationObserver* observer = nullptr);
