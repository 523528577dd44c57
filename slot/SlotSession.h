#pragma once

// One slot's run of the main dialog without a window: the chosen port selected at start-up, the
// image in the path field, debug ticked if asked, START pressed at once; the log and the progress
// shown on the slot's screen (SlotScreen.h); the run ends with the box's verdict (or, with
// --loop, START is pressed again for the next box), a failed start, a stop or a finish.
//
// What happens to the box is heard from the slot's session (download/BoxSession.h), never read
// back from the controls. With --loop and in a station's slot, a port that is absent, busy or
// lost while no box's session runs is a state of the slot, not a box: said once at the change,
// tried again every second, and neither recorded nor counted.
//
// Threading rules: Run and everything else on the UI thread, but AskFinish, AskStop and AskInput,
// which any thread may call while the session lives: a stop ends a write that waits, and each
// hands the rest to the UI thread, where it is dropped once the run is over.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "download/SlotStatus.h"
#include "platform/host/UiDelay.h"
#include "slot/ExitStatus.h"
#include "slot/ScanGate.h"
#include "slot/SlotInput.h"
#include "slot/SlotUnit.h"
#include "slot/UnitDealer.h"

class BoxBook;
class CDialog;
class CMainDialog;
class CSerialLink;
class SlotScreen;
class WindowObserver;

struct SessionConfig {
    int portNumber = 0;
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool loop = false;
    int count = 0;                // with loop: boxes before the run ends (0: until stopped)
    int timeoutSeconds = 0;       // the silence bound (0: none)
    std::uint32_t baud = 115200;  // the line's rate
    bool requireWhole = false;    // a box not sent every byte of the image fails
    // scan = "required": a box's START is answered only once the station has sent its scan
    // (slot/ScanGate.h); one not scanned within the silence bound fails "box not scanned".
    bool scanRequired = false;
    // Where the run shows itself and what hosts its dialog; must be set.
    SlotScreen* screen = nullptr;
    // A station's slot: a port that cannot be opened is waited for, as with --loop.
    bool stationSlot = false;
    // Where the log is written as well (opened by the caller); may be null.
    WindowObserver* logFile = nullptr;
    // The port was given as a device path: the window's stored port number is left alone.
    bool keepStoredPort = false;
    // Who the box is for its record: the port as given, the device, the adapter.
    BoxSlot slot;
    // Where each box's verdict and record go; may be null.
    BoxBook* book = nullptr;
    // Also hear the download's events (a station's slot, the demo's box switch).
    std::vector<DownloadObserver*> observers;
    // --box-id: the box's identity from its console text, for its record.
    std::shared_ptr<const BoxIdPattern> boxIdPattern;
    std::string requiredSha256;  // --sha256 or the job's: START refuses any other image
    // A station's slot: told once a second on the UI thread, so that its station sees it live.
    std::function<void()> heartbeat;
    // Also hear the slot's states, figures and ends (the station, the broker).
    std::vector<BoxSession::Sink*> sinks;
    // Per-box input from a station, on the UI thread; none: it is passed over. A unit's data
    // the session serves itself.
    std::function<void(const SlotInput&)> input;
    // A job with a [unit]: each box is served its own data in this region (SlotUnit.h).
    std::optional<UnitLayout> unit;
    // A single run's own pool, which it draws each box's unit from (null: a station deals them
    // down the channel).
    UnitDealer* dealer = nullptr;
    // What became of each unit's lease, on the UI thread (a station's slot sends it up).
    std::function<void(const UnitReport&)> unitReport;
    // A unit has been served to the download under way (the capture names it).
    std::function<void(const SlotUnit::Serving&)> unitServed;
};

class SlotSession final : private BoxSession::Sink, private DownloadObserver {
  public:
    explicit SlotSession(SessionConfig config);
    ~SlotSession() override;

    // Runs the dialog to its end; answers the exit status.
    int Run();
    // Any thread: the box in hand is finished, and no other is taken; without one the run ends.
    void AskFinish();
    // Any thread: the download stops as Stop would, and the run ends with 128 + signo.
    void AskStop(int signo);
    // Any thread: input for the box in hand, for the input hook.
    void AskInput(const SlotInput& input);
    // Boxes judged, by their verdict.
    int BoxesPassed() const { return m_tally.passes; }
    int BoxesFailed() const { return m_tally.fails; }
    int BoxesAborted() const { return m_tally.aborts; }
    // The lease of a unit still held once the run is over: served to no box that got a record,
    // so none of its bytes reached the port. Nothing without one.
    std::optional<std::string> HeldLease() const;
    // Why START refused the image, when it did (the run then ended).
    const std::optional<SysFailure>& Refusal() const { return m_refusal; }

  private:
    void OnSignal(int signo);
    void FinishAfterBox();
    // Ends a write that waits on a box that stopped reading.
    void AbortWrite();
    // Runs `task` on the UI thread while this run lasts.
    void Post(std::function<void()> task);

    // BoxSession::Sink
    void OnSlotState(SlotState state, const SysFailure& why) override;
    void OnProgress(const ProgressFigures& figures) override;
    void OnBoxIdentified(const std::string& boxId) override;
    void OnSessionEnded(const SessionEnd& end) override;
    // DownloadObserver: what a START gave.
    void OnStarted(const DownloadStarted& started) override;
    void OnStartRefused(const SysFailure& failure) override;
    void OnConnectFailed(const SysFailure& failure) override;
    void OnStartHeld() override;

    void OnDialogCreated(CDialog& dialog);
    void Begin();
    void PressStart();
    void WaitForPort();
    void WaitForPortSoon();
    void Beat();
    // A unit (or why there is none) for the next box, or the box in hand.
    void TakeUnit(const UnitData& unit);
    // Serves the unit in hand to the download under way.
    void ServeUnit();
    // No unit can be had: the box in hand fails for `why`, and the run ends.
    void RefuseUnit(const DownloadEnded& why);
    // Does what the scan gate says with the box's START, or with the box in hand.
    void ApplyGate();
    void NotScannedInTime();
    // The box's START is held for its scan.
    bool WaitsForScan() const { return m_session.State() == SlotState::WaitingForScan; }
    bool WaitsForPorts() const { return m_config.loop || m_config.stationSlot; }
    void End(int status);
    void SetAbortableLink(CSerialLink* link);
    void ExplainPortFailure(const SysFailure& failure);
    std::string PortLabel() const;

    SessionConfig m_config;
    SlotScreen& m_screen;
    BoxSession m_session;
    CMainDialog* m_dialog = nullptr;
    // Tasks from other threads run while this holds true; the run sets it, its end clears it.
    std::shared_ptr<bool> m_live = std::make_shared<bool>(false);
    UiDelay m_retry;
    UiDelay m_beat;  // the heartbeat's next turn
    bool m_waitingForPort = false;
    bool m_starting = false;
    bool m_refused = false;
    std::optional<SysFailure> m_refusal;
    std::optional<SysFailure> m_connectFailure;
    bool m_ended = false;
    bool m_recordFailed = false;
    bool m_lastBox = false;
    int m_signal = 0;
    int m_status = kExitPass;
    // The link a signal may cut short, while the dialog that owns it serves.
    std::mutex m_abortLock;
    CSerialLink* m_abortLink = nullptr;
    SlotStatus m_tally;
    std::optional<SlotUnit> m_unit;
    // The pool gave no unit: the slot serves no further box, and ends with kExitUnitPool.
    std::optional<DownloadEnded> m_unitRefusal;
    ScanGate m_gate;
    UiDelay m_scanWait;          // the silence bound for a box that waits for its scan
    bool m_gateStopped = false;  // the gate has stopped the box in hand
    // The last box failed at the gate (not scanned, wrong box, a repeat): a box that keeps
    // asking after it is most likely the same one, which then waits for a scan without failing
    // again. A box whose START is answered ends it.
    bool m_gateFailed = false;
};
