#include "slot/SlotSession.h"

#include <cstring>

#include "app/DownloadApp.h"
#include "app/MainDialog.h"
#include "app/Resources.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/MessageQueue.h"
#include "platform/ports/PortAdvice.h"
#include "platform/ports/PortMap.h"
#include "platform/ports/PortProbe.h"
#include "platform/window/OperatorInput.h"
#include "slot/BoxBook.h"
#include "slot/SlotScreen.h"

namespace {

// The system's reason alone, without the device it is about.
std::string ReasonOf(const SysFailure& failure) {
    if (!failure.reason.empty()) {
        return failure.reason;
    }
    return failure.result.sysErrno != 0 ? std::strerror(failure.result.sysErrno)
                                        : SysStatusName(failure.result.status);
}

}  // namespace

SlotSession::SlotSession(SessionConfig config)
    : m_config(std::move(config)),
      m_screen(*m_config.screen),
      m_session(m_config.slot, !WaitsForPorts(), this),
      m_gate(m_config.scanRequired) {
    if (m_config.boxIdPattern) {
        m_session.SetBoxIdPattern(m_config.boxIdPattern);
    }
    if (m_config.unit) {
        m_unit.emplace(*m_config.unit);
    }
}

SlotSession::~SlotSession() = default;

void SlotSession::Post(std::function<void()> task) {
    MessageQueue::Ui().PostTask([live = m_live, task = std::move(task)] {
        if (*live) {
            task();
        }
    });
}

void SlotSession::AskFinish() {
    Post([this] { FinishAfterBox(); });
}

void SlotSession::AskStop(int signo) {
    // A write waiting on a box that stopped reading would hold the UI thread: end it now, so
    // the stop runs at once and cleanly.
    AbortWrite();
    Post([this, signo] { OnSignal(signo); });
}

void SlotSession::AskInput(const SlotInput& input) {
    Post([this, input] {
        if (input.kind == SlotInput::Kind::UnitData && m_unit) {
            TakeUnit(input.unit);
        } else if (input.kind == SlotInput::Kind::ScannedBoxId) {
            m_gate.Scanned(input.value, input.why);
            ApplyGate();
        } else if (input.kind == SlotInput::Kind::BoxRefused) {
            m_gate.Refused(input.value, input.why);
            ApplyGate();
        } else if (m_config.input) {
            m_config.input(input);
        }
    });
}

int SlotSession::Run() {
    ConsoleOutput& output = ConsoleOutput::Process();
    output.HoldUntilPublished(true);
    m_screen.Open(
        [this](CDialog& dialog) { OnDialogCreated(dialog); },
        [this] { return m_dialog != nullptr ? m_dialog->m_link.m_droppedBytes.load() : 0; });
    {
        CDownloadApp app;
        app.SetDialogSetup([this](CMainDialog& dialog) {
            m_dialog = &dialog;
            SetAbortableLink(&dialog.m_link);
            if (m_config.ini) {
                dialog.SetIniPath(*m_config.ini);
            }
            dialog.SetStartupPort(m_config.portNumber);
            if (m_config.keepStoredPort) {
                dialog.KeepStoredPort();
            }
            dialog.RequireImageSha256(m_config.requiredSha256);
            dialog.SetLineBaud(m_config.baud);
            dialog.RequireWholeImage(m_config.requireWhole);
            dialog.WantUnit(m_unit.has_value());
            if (m_config.timeoutSeconds > 0) {
                dialog.SetSilenceBound(std::chrono::seconds(m_config.timeoutSeconds),
                                       m_config.loop || m_config.stationSlot
                                           ? CDownloadControl::SilenceFrom::FirstFrame
                                           : CDownloadControl::SilenceFrom::Start);
            }
            // The session first, so that everyone after it hears a state it already holds.
            dialog.AddDownloadObserver(&m_session);
            for (DownloadObserver* observer : m_config.observers) {
                dialog.AddDownloadObserver(observer);
            }
            // Last: a unit it serves at START is told to a capture that has begun its file.
            dialog.AddDownloadObserver(this);
            // Runs once the dialog has initialised and made its first connection.
            MessageQueue::Ui().PostTask([this] { Begin(); });
            MessageQueue::Ui().PostTask([this] { Beat(); });
        });
        *m_live = true;
        app.InitInstance();
        *m_live = false;
        SetAbortableLink(nullptr);
        m_dialog = nullptr;
    }
    m_screen.Close();
    output.HoldUntilPublished(false);
    return m_status;
}

void SlotSession::OnDialogCreated(CDialog& dialog) {
    if (dialog.TemplateId() != IDD_STAVEL_OV_DIALOG) {
        return;
    }
    m_screen.FollowLog(*dialog.GetDlgItem(IDC_LOG));
    if (m_config.logFile != nullptr) {
        dialog.GetDlgItem(IDC_LOG)->AddObserver(m_config.logFile);
    }
}

void SlotSession::Begin() {
    if (m_ended) {
        return;
    }
    m_dialog->m_editPath.SetWindowText(m_config.image);
    if (m_config.debug && m_dialog->m_chkDebug.GetCheck() != BST_CHECKED) {
        ClickButton(m_dialog->m_chkDebug);
    }
    PressStart();
}

std::string SlotSession::PortLabel() const {
    return "COM" + std::to_string(m_config.portNumber) + " (" +
           EscapeName(DevicePathForNumber(m_config.portNumber).value_or("")) + ")";
}

void SlotSession::PressStart() {
    m_starting = true;
    m_refused = false;
    m_connectFailure.reset();
    ClickButton(m_dialog->m_btnStart);
    m_starting = false;
    if (m_ended) {
        return;
    }
    if (m_refused) {
        // "No input file", "Cannot read input file" or "Not the required image" has been shown.
        // An image replaced under a running line ends it as a changed image does.
        const bool wrongImage = m_dialog->WrongImage();
        End(!wrongImage ? kExitUsage : m_config.stationSlot ? kSlotWrongImage : kExitImageChanged);
        return;
    }
    if (m_connectFailure) {
        // Nothing can arrive on a port that did not open: stop as the operator would, for
        // that reason.
        m_dialog->StopFor(DownloadEnded{EndReason::PortNotOpened, *m_connectFailure, {}});
    }
}

void SlotSession::OnStarted(const DownloadStarted&) {
    m_screen.ProgressStarted();
    m_gate.Started();
    m_gateStopped = false;
    ApplyGate();
    if (!m_unit) {
        return;
    }
    if (m_unit->Holds()) {
        ServeUnit();
    } else if (m_config.dealer != nullptr) {
        // A single run draws its own, before the box can ask for a byte.
        TakeUnit(m_config.dealer->Deal(m_config.slot.slot));
    }
}

void SlotSession::TakeUnit(const UnitData& unit) {
    if (m_ended || m_unitRefusal) {
        return;
    }
    if (!unit.refusal) {
        m_unit->Take(unit);
        if (m_dialog != nullptr && m_session.Running()) {
            ServeUnit();
        }
        return;
    }
    RefuseUnit(DownloadEnded{
        *unit.refusal, SysFailure(SysResult{SysStatus::Failed, "", 0}, "", unit.why), {}});
}

void SlotSession::RefuseUnit(const DownloadEnded& why) {
    m_unitRefusal = why;
    if (!m_config.stationSlot) {
        m_screen.Say("stavel: " + EscapeName(why.failure.reason) + "\n");
    }
    if (m_dialog != nullptr && m_session.Running()) {
        // No byte of the image has gone out. A box in hand fails for it, as does a single
        // run's box; a slot that waits for one just stops. Within START, from a turn of its own.
        if (!m_starting) {
            m_dialog->StopFor(why);
            return;
        }
        Post([this, why] {
            if (m_dialog != nullptr) {
                m_dialog->StopFor(why);
            }
        });
        return;
    }
    End(kExitUnitPool);
}

std::optional<std::string> SlotSession::HeldLease() const {
    return m_unit ? m_unit->Lease() : std::nullopt;
}

void SlotSession::ServeUnit() {
    SlotUnit::Serving serving = m_unit->Serve(m_dialog->m_download);
    if (!serving.overlay) {
        if (serving.stop.reason == EndReason::ImageChanged) {
            Post([this, stop = serving.stop] {
                if (m_dialog != nullptr) {
                    m_dialog->StopFor(stop);
                }
            });
        } else {
            RefuseUnit(serving.stop);
        }
        return;
    }
    if (m_config.unitReport) {
        m_config.unitReport(serving.report);
    }
    if (m_config.unitServed) {
        m_config.unitServed(serving);
    }
    m_dialog->ServeOverlay(std::move(*serving.overlay));
}

void SlotSession::OnStartHeld() {
    ApplyGate();
}

void SlotSession::ApplyGate() {
    if (m_ended || m_dialog == nullptr || !m_session.Running() || m_gateStopped) {
        return;
    }
    const ScanGate::Step step = m_gate.Next();
    if (step == ScanGate::Step::Fail) {
        if (!m_session.InSession()) {
            m_dialog->GateStart(true);  // the box's START will be held, and fail it
            return;
        }
        // From a turn of its own: this may be told from within the protocol's answer.
        m_gateStopped = true;
        m_gateFailed = true;
        m_dialog->GateStart(true);
        Post([this, why = m_gate.Failure()] {
            if (m_dialog != nullptr && m_session.Running()) {
                m_dialog->StopFor(why);
            }
        });
        return;
    }
    if (step == ScanGate::Step::Answer) {
        m_gateFailed = false;
        const bool waited = WaitsForScan();
        m_dialog->GateStart(false);
        if (waited) {
            m_session.SetState(SlotState::Loading);
        }
        return;
    }
    m_dialog->GateStart(true);
    if (m_dialog->StartHeld() && !WaitsForScan()) {
        m_session.SetState(SlotState::WaitingForScan);
        if (m_config.timeoutSeconds > 0 && !m_gateFailed) {
            m_scanWait.After(std::chrono::seconds(m_config.timeoutSeconds),
                             [this] { NotScannedInTime(); });
        }
    }
}

void SlotSession::NotScannedInTime() {
    if (m_ended || m_dialog == nullptr || !WaitsForScan() || m_gateStopped) {
        return;
    }
    m_gateStopped = true;
    m_gateFailed = true;
    m_dialog->StopFor(DownloadEnded{EndReason::NotScanned, {}, {}});
}

void SlotSession::OnStartRefused(const SysFailure& failure) {
    m_refused = true;
    m_refusal = failure;
}

void SlotSession::OnConnectFailed(const SysFailure& failure) {
    if (m_starting) {
        m_connectFailure = failure;
    }
}

void SlotSession::WaitForPort() {
    const std::string device = DevicePathForNumber(m_config.portNumber).value_or("");
    const SysFailure failure = ProbePort(device);
    if (!failure.Failed()) {
        if (m_waitingForPort) {
            m_screen.Say("stavel: COM" + std::to_string(m_config.portNumber) +
                         " opens again; serving the next box\n");
        }
        m_waitingForPort = false;
        PressStart();
        return;
    }
    // Said once at each change: absent, then busy, is news; absent every second is not.
    const SlotState state = PortStateFor(failure);
    if (!m_waitingForPort || state != m_session.State()) {
        const bool again = m_tally.passes + m_tally.fails + m_tally.aborts > 0;
        m_screen.Say("stavel: " + PortLabel() + " cannot be opened" + (again ? " again" : "") +
                     ": " + EscapeName(ReasonOf(failure)) + "; trying again every second\n");
        m_session.SetState(state, failure);
    }
    m_waitingForPort = true;
    m_retry.After(std::chrono::seconds(1), [this] {
        if (!m_ended) {
            WaitForPort();
        }
    });
}

// Once the session has shown the box's end: the port's state comes after it.
void SlotSession::WaitForPortSoon() {
    MessageQueue::Ui().PostTask([this] {
        if (!m_ended) {
            WaitForPort();
        }
    });
}

void SlotSession::OnSlotState(SlotState state, const SysFailure& why) {
    // Shown once; in a station its supervisor says it in its own table's words.
    if (state == SlotState::NoRequest && !m_config.stationSlot) {
        m_screen.Say("stavel: " + EscapeName(m_config.slot.slot) +
                     ": box talking, no request: " + why.reason + "\n");
    }
    for (BoxSession::Sink* sink : m_config.sinks) {
        sink->OnSlotState(state, why);
    }
}

void SlotSession::OnProgress(const ProgressFigures& figures) {
    m_screen.Progress(figures);
    for (BoxSession::Sink* sink : m_config.sinks) {
        sink->OnProgress(figures);
    }
}

void SlotSession::OnBoxIdentified(const std::string& boxId) {
    for (BoxSession::Sink* sink : m_config.sinks) {
        sink->OnBoxIdentified(boxId);
    }
    m_gate.Identified(boxId);
    ApplyGate();
}

// Beside the verdict, one line for the operator with the device, the system's reason and what
// to do about it.
void SlotSession::ExplainPortFailure(const SysFailure& failure) {
    if (!failure.Failed()) {
        return;
    }
    const std::string advice = PortAdvice(failure);
    m_screen.Say("stavel: " + EscapeName(failure.Describe()) +
                 (advice.empty() ? "" : ". " + EscapeName(advice)) + "\n");
}

void SlotSession::OnSessionEnded(const SessionEnd& end) {
    if (m_ended) {
        return;
    }
    m_screen.ProgressEnded();
    const EndReason reason = end.ended.reason;
    // Whoever hears of the end hears the record as it was kept: with its log's file and
    // whether the log is whole, and where and by whom it was made.
    SessionEnd kept = end;
    // The unit served to the box is named in its record; the station hears of its lease first.
    std::optional<UnitReport> unitReport;
    if (m_unit && kept.record && m_dialog != nullptr) {
        unitReport = m_unit->Close(*kept.record, m_dialog->m_download);
    } else if (m_unit) {
        m_unit->Unserve();
    }
    if (unitReport && m_config.unitReport) {
        m_config.unitReport(*unitReport);
    }
    if (kept.record) {
        // The box is the one its label names; a console that named another made it fail.
        if (m_gate.ScannedId()) {
            kept.record->boxId = m_gate.ScannedId();
        }
        m_gate.BoxEnded();
        CountVerdict(m_tally, VerdictOf(*kept.record));
        if (m_config.book != nullptr) {
            m_recordFailed = !m_config.book->Close(*kept.record, reason) || m_recordFailed;
            kept.record = m_config.book->Last();
        }
        if (reason == EndReason::PortNotOpened || reason == EndReason::PortLost ||
            reason == EndReason::BoxStalled) {
            ExplainPortFailure(end.ended.failure);
        }
    }
    if (unitReport && m_config.dealer != nullptr && kept.record) {
        const bool passed = kept.record->Passed();
        if (Result<void> settled = m_config.dealer->Settle(
                unitReport->lease, LeaseVerdict(passed, unitReport->reached), kept.record->id);
            !settled) {
            m_screen.Say("stavel: the unit pool cannot keep what became of the unit: " +
                         EscapeName(settled.Failure().Describe()) + "\n");
        }
    }
    for (BoxSession::Sink* sink : m_config.sinks) {
        sink->OnSessionEnded(kept);
    }
    if (m_signal != 0) {
        End(128 + m_signal);
        return;
    }
    // A run that cannot keep its records takes no new box.
    if (m_recordFailed) {
        End(kExitRecordNotWritten);
        return;
    }
    if (m_unitRefusal) {
        End(kExitUnitPool);
        return;
    }
    const bool portGone = reason == EndReason::PortLost || reason == EndReason::PortNotOpened;
    if (m_lastBox && !end.record) {
        End(m_tally.fails > 0 ? kExitSomeBoxFailed : kExitPass);
        return;
    }
    if (!end.record) {
        // No box: a port that vanished, or would not open, while the slot waited for one.
        if (portGone && WaitsForPorts()) {
            WaitForPortSoon();
        } else {
            End(kExitSomeBoxFailed);
        }
        return;
    }
    if (m_lastBox) {
        End(m_tally.fails > 0 ? kExitSomeBoxFailed : kExitPass);
        return;
    }
    const int judged = m_tally.passes + m_tally.fails + m_tally.aborts;
    const bool counted = m_config.loop && m_config.count > 0;
    if (counted && judged >= m_config.count) {
        End(m_tally.fails > 0 ? kExitSomeBoxFailed : kExitPass);
        return;
    }
    if (!m_config.loop) {
        End(ExitStatusFor(reason, kExitSomeBoxFailed));
        return;
    }
    if (portGone) {
        WaitForPortSoon();
        return;
    }
    // The next box: START again once this notification's handling is over.
    MessageQueue::Ui().PostTask([this] {
        if (!m_ended) {
            PressStart();
        }
    });
}

void SlotSession::OnSignal(int signo) {
    if (m_ended) {
        return;
    }
    m_signal = signo;
    if (m_dialog != nullptr && m_session.Running()) {
        // The stop is heard as the session's end, which ends the run with the signal's status;
        // a box mid-session is ABORTED.
        m_session.SetState(SlotState::Stopping);
        ClickButton(m_dialog->m_btnStart);
    }
    End(128 + signo);
}

void SlotSession::Beat() {
    if (m_ended) {
        return;
    }
    m_session.Tick();  // a box gone quiet shows as stalled to whoever watches the slot
    if (m_config.heartbeat) {
        m_config.heartbeat();
    }
    m_beat.After(std::chrono::seconds(1), [this] { Beat(); });
}

void SlotSession::FinishAfterBox() {
    m_lastBox = true;
    if (m_ended) {
        return;
    }
    if (m_session.InSession()) {
        if (!m_config.stationSlot) {
            m_screen.Say("stavel: finishing 1 box; Ctrl-C again to stop now\n");
        }
        return;
    }
    if (m_dialog != nullptr && m_session.Running()) {
        // Waiting for a box that has not framed anything: no box to finish.
        ClickButton(m_dialog->m_btnStart);
    }
    End(m_recordFailed      ? kExitRecordNotWritten
        : m_unitRefusal     ? kExitUnitPool
        : m_tally.fails > 0 ? kExitSomeBoxFailed
                            : kExitPass);
}

void SlotSession::AbortWrite() {
    std::lock_guard lock(m_abortLock);
    if (m_abortLink != nullptr) {
        m_abortLink->AbortWrite();
    }
}

void SlotSession::SetAbortableLink(CSerialLink* link) {
    std::lock_guard lock(m_abortLock);
    m_abortLink = link;
}

void SlotSession::End(int status) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    // A box's log that could not be written whole is said like a record: status 8, which only
    // a signal's status beats.
    const bool logsLost = m_config.book != nullptr && m_config.book->LogsLost();
    m_status = logsLost && (status == kExitPass || status == kExitSomeBoxFailed)
                   ? kExitRecordNotWritten
                   : status;
    // Nothing is served from here on, and the dialog (with its link) is about to go.
    SetAbortableLink(nullptr);
    m_screen.ProgressEnded();
    if (m_dialog != nullptr) {
        m_dialog->EndDialog(IDOK);
    }
}
