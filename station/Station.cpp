#include "station/Station.h"
#include "station/StationSlot.h"

#include "download/BoxVerdict.h"
#include "download/StbFrame.h"
#include "platform/base/SysResult.h"
#include "platform/codepage/ShownText.h"
#include "platform/comm/CommPort.h"
#include "platform/host/Host.h"
#include "platform/ports/PortChoice.h"
#include "record/BoxRecordCodec.h"
#include "record/RecordId.h"
#include "record/VerdictLine.h"
#include "slot/BoxCaptureDir.h"
#include "slot/BoxLogDir.h"
#include "slot/ExitStatus.h"
#include "slot/KilledBoxFiles.h"
#include "station/SlotFeed.h"
#include "station/SlotProcess.h"
#include "station/StationRecovery.h"
#include "unit/UnitRegion.h"

Station::Clock::duration Station::WatchdogFor(std::uint32_t baud) {
    return std::chrono::microseconds(WireMicroseconds(65535, baud)) + CommPort::kStallSlack +
           std::chrono::seconds(5);
}

Station::Station(StationConfig config, StationObserver* observer)
    : m_config(std::move(config)),
      m_observer(observer != nullptr ? observer : &m_noObserver),
      m_ownTransport(m_config.transport == nullptr
                         ? std::make_unique<ProcessTransport>(m_config.program)
                         : nullptr),
      m_transport(m_config.transport != nullptr ? *m_config.transport : *m_ownTransport) {
    if (m_config.switches != nullptr) {
        m_config.switches->SetWake([this] { m_transport.Wake(); });
    }
    if (m_config.slot.labelZpl && m_config.slot.printer) {
        m_reprinter = std::make_unique<LabelReprinter>(
            *m_config.slot.labelZpl, *m_config.slot.printer, [this] { m_transport.Wake(); });
    }
}

Station::~Station() {
    if (m_config.switches != nullptr) {
        m_config.switches->SetWake(nullptr);
    }
    m_slots.clear();  // every slot ends before its files go
}

Station::Clock::time_point Station::Now() const {
    return m_config.clock ? m_config.clock() : Clock::now();
}

void Station::Note(const std::string& text) {
    m_observer->OnMessage(text);
}

void Station::AskFinish() {
    m_finishAsked.store(true);
    m_transport.Wake();
}

void Station::AskStopNow(int signo) {
    m_signal.store(signo);
    m_transport.Wake();
}

Result<void> Station::Prepare() {
    Result<std::unique_ptr<StationFiles>> files = StationFiles::Make(
        m_config.slot.image, m_config.slot.logDir, m_config.report, m_config.ini, m_config.ports);
    if (!files) {
        return files.Failure();
    }
    m_files = std::move(*files);
    m_records.emplace(m_files->TakeReport(), m_config.made);
    if (m_ownTransport) {
        if (Result<void> made = static_cast<ProcessTransport&>(m_transport).Made(); !made) {
            return made;
        }
    }
    for (std::size_t i = 0; i < m_config.ports.size(); ++i) {
        auto s = std::make_unique<Slot>();
        s->index = i;
        s->port = m_config.ports[i];
        s->place = m_files->Places()[i];
        s->status.slot = i < m_config.labels.size() ? m_config.labels[i] : s->port;
        s->sink.station = this;
        s->sink.slot = s.get();
        s->session =
            std::make_unique<BoxSession>(SlotOn(s->status.slot, s->place.device), false, &s->sink);
        m_slots.push_back(std::move(s));
    }
    return {};
}

bool Station::Begin() {
    if (Result<void> prepared = Prepare(); !prepared) {
        Note(prepared.Failure().Describe());
        m_unservable = true;
        return false;
    }
    std::vector<std::string> names;
    for (const auto& slot : m_slots) {
        names.push_back(slot->status.slot);
    }
    m_observer->OnStationStarted(names);
    if (m_config.scan.required) {
        m_desk.emplace(names, m_config.scan.slotPrefix);
    }
    Recover();
    if (m_config.report) {
        Result<std::unique_ptr<StationJournal>> journal =
            StationJournal::Open(*m_config.report, m_files->TempDir());
        if (journal) {
            m_journal = std::move(*journal);
        } else {
            Note("the journal of the boxes in flight cannot be kept: " +
                 EscapeName(journal.Failure().Describe()) +
                 "; a box in flight when the station is killed gets no record");
        }
    }
    for (auto& slot : m_slots) {
        Spawn(*slot);
        // A box that must be scanned is switched on by its scan.
        if (m_config.power && m_config.power->onStart && !m_config.scan.required) {
            PowerAct(*slot, PowerAction::On);
        }
    }
    return true;
}

void Station::Recover() {
    if (!m_config.report) {
        return;
    }
    const auto keep = [this](const BoxRecord& record) {
        const RecordBook::Kept kept = m_records->KeepEarlier(record);
        if (!kept.error.empty()) {
            Note(EscapeName(record.slot) + ": the record of a box in flight when the station " +
                 "was stopped cannot be written: " + EscapeName(kept.error));
            m_recordFailed = true;
            return false;
        }
        const BoxRecord& r = kept.record;
        Note(EscapeName(r.slot) + ": FAIL " + r.reason +
             (r.boxId ? ", box " + EscapeName(*r.boxId) : std::string()) +
             " (a box in flight when the station was stopped, begun " + IsoUtcMillis(r.start) +
             "; recorded now)");
        m_observer->OnBoxRecovered(r.slot, r, kept.line);
        for (auto& slot : m_slots) {
            if (slot->status.slot == r.slot) {
                // The slot's last verdict, until its next box begins; not this run's tally.
                slot->status.last = VerdictOf(r);
                Show(*slot, true);
            }
        }
        return true;
    };
    RecoverKilledRuns(*m_config.report,
                      RecoveryEars{keep, [this](const std::string& line) { Note(line); }});
}

std::string Station::PortLabel(const Slot& slot) const {
    // As the slot's own verdict line names it (slot/ServeSlot.cpp).
    const std::string name = slot.status.slot == slot.port
                                 ? "COM" + std::to_string(slot.place.number)
                                 : slot.status.slot;
    return name + " (" + ResolvedDevicePath(slot.place.device) + ")";
}

void Station::Journal(Slot& slot, bool sync) {
    if (!m_journal) {
        return;
    }
    SlotJournal journal;
    journal.slot = slot.status.slot;
    journal.portLabel = PortLabel(slot);
    journal.pid = slot.pid;
    journal.log = slot.logFile;
    journal.capture = slot.captureFile;
    journal.stamps = m_config.slot.timestamps;
    journal.box = slot.session->JudgeNow(DownloadEnded{EndReason::StationKilled, {}, {}});
    if (journal.box) {
        journal.box->id = slot.boxRecordId;
        journal.box->made = m_config.made;
    }
    if (Result<void> written = m_journal->Write(slot.index, journal, sync);
        !written && !m_journalTold) {
        m_journalTold = true;
        Note("the journal of the boxes in flight cannot be written: " +
             EscapeName(written.Failure().Describe()) +
             "; a box in flight when the station is killed may get no record");
    }
}

void Station::CloseKilledFiles(Slot& slot, BoxRecord& record, const DownloadEnded& ended) {
    record.made = m_config.made;
    if (slot.logFile) {
        // The killed process may not have written its last lines: the log may lack its end.
        record.logFile = CloseKilledBoxLog(
            *slot.logFile, record, ApplicationName() + ": " + VerdictLine(PortLabel(slot), record),
            m_config.slot.timestamps);
        record.logComplete = false;
    }
    if (slot.captureFile) {
        CloseKilledBoxCapture(*slot.captureFile, record, ended);
    }
}

bool Station::MoreBoxes(const Slot& slot) const {
    if (m_stopSignal != 0 || m_recordFailed || m_finishing || m_wrongImage || slot.takenOut) {
        return false;
    }
    // Without --loop each slot serves one box; a port state is no box.
    return m_config.loop ? m_config.count == 0 || slot.boxes < m_config.count : slot.boxes == 0;
}

bool Station::Spawn(Slot& slot) {
    slot.peer.reset();
    Result<std::unique_ptr<SlotPeer>> started = m_transport.Start(slot.index, slot.place.errorFile);
    if (!started) {
        Note(EscapeName(slot.status.slot) +
             ": the slot cannot start: " + started.Failure().Describe());
        slot.phase = Phase::Done;
        return false;
    }
    slot.peer = std::move(*started);
    slot.pid = slot.peer->Pid();
    slot.gone = false;
    slot.logFile.reset();
    slot.captureFile.reset();
    if (slot.pid > 0 && m_config.slot.logDir) {
        slot.logFile = BoxLogDir::PartialPath(BoxLogDir::WholeDir(*m_config.slot.logDir),
                                              slot.status.slot, slot.pid);
    }
    if (slot.pid > 0 && m_config.slot.captureDir) {
        slot.captureFile = BoxCaptureDir::PartialPath(
            BoxLogDir::WholeDir(*m_config.slot.captureDir), slot.status.slot, slot.pid);
    }
    SlotConfig config = m_config.slot;
    config.label = slot.status.slot;
    config.port = slot.port;
    config.ini = slot.place.ini;
    config.number = slot.place.number;
    config.loop = m_config.loop;
    config.count = m_config.loop ? (m_config.count > 0 ? m_config.count - slot.boxes : 0) : 1;
    if (StationCounts()) {
        // A retry is the same box again: the station counts, and ends the slot after its last.
        config.loop = true;
        config.count = 0;
    }
    config.report.reset();  // the station keeps the records
    if (m_config.power && m_config.power->BySlot()) {
        config.powerLine = m_config.power->backend == PowerBackend::Rts ? "rts" : "dtr";
        config.powerOnAsserted = m_config.power->onWhenAsserted;
    }
    config.made = m_config.made;
    config.scanRequired = m_config.scan.required;
    slot.peer->Send(HelloMessage());
    slot.peer->Send(ConfigMessage(config));
    slot.phase = Phase::Running;
    SendScan(slot);  // a slot started again still has its box's scan
    slot.lastWord = Now();
    slot.greeted = slot.hung = slot.broken = slot.refused = false;
    slot.ending.clear();
    slot.slotRecord.reset();
    slot.session->SetState(SlotState::WaitingForPort);
    Journal(slot, false);
    DealUnit(slot);
    return true;
}

void Station::OnState(Slot& slot, SlotState state, const SysFailure& why) {
    const SlotState before = slot.status.state;
    ApplyState(slot.status, state, why);
    if (state == SlotState::Loading) {
        slot.powerTrouble.clear();  // a box began: its power is fine
    }
    Overlay(slot);
    state = slot.status.state;
    if (state == before) {
        return;
    }
    if (state == SlotState::Loading && before != SlotState::WaitingForScan) {
        slot.noted = state;
        // On disk before anyone hears of the box: a station killed from here on leaves its
        // record to the next start.
        slot.boxRecordId = NewRecordId();
        slot.retryUntil.reset();  // the retry's box has begun
        Journal(slot, true);
        m_observer->OnBoxStarted(slot.status.slot);
    } else if ((state == SlotState::PortAbsent || state == SlotState::PortBusy ||
                state == SlotState::NoRequest) &&
               state != slot.noted) {
        // Said once: each retry passes through the wait for a box again.
        slot.noted = state;
        m_observer->OnPortState(slot.status.slot, state, why.Describe());
    }
    Show(slot, true);
    ShowAll();
}

void Station::OnProgress(Slot& slot, const ProgressFigures& figures) {
    slot.status.figures = figures;
    Show(slot, false);
}

void Station::Show(Slot& slot, bool force) {
    const Clock::time_point now = Now();
    if (!force && now - slot.lastShown < kTick) {
        return;
    }
    slot.lastShown = now;
    m_observer->OnSlotChanged(slot.status);
}

void Station::ShowAll() {
    UpdateScans();
    m_observer->OnSlots(Statuses());
}

void Station::OnFrame(std::size_t index, const std::optional<Json>& frame) {
    Slot& slot = *m_slots.at(index);
    slot.lastWord = Now();
    const std::optional<UpMessage> message = frame ? UpMessageFromJson(*frame) : std::nullopt;
    if (!message || (!slot.greeted && message->kind != UpMessage::Kind::Hello)) {
        // What a slot says and the station cannot read: the slot is as good as crashed.
        if (!slot.broken) {
            slot.broken = true;
            Note(EscapeName(slot.status.slot) +
                 ": the slot's channel brought what the station cannot read; the slot is stopped");
            slot.peer->Kill();
        }
        return;
    }
    Hear(slot, *message);
}

void Station::Hear(Slot& slot, const UpMessage& message) {
    switch (message.kind) {
        case UpMessage::Kind::Hello:
            if (message.version != kSlotChannelVersion) {
                Note(EscapeName(slot.status.slot) + ": the slot cannot serve: " +
                     VersionMismatch(message.version, kSlotChannelVersion));
                m_unservable = true;
                slot.refused = true;
                slot.peer->Kill();
            }
            slot.greeted = true;
            break;
        case UpMessage::Kind::Event:
            if (std::holds_alternative<DownloadStarted>(message.event)) {
                slot.slotRecord.reset();
            }
            ApplySessionEvent(message.event, *slot.session);
            if (const auto* spoke = std::get_if<BoxSpoke>(&message.event); spoke && spoke->boxId) {
                OnConsoleId(slot, *spoke->boxId);
            }
            break;
        case UpMessage::Kind::Record:
            // The slot's own record, judged where the box was served, is the one kept.
            slot.slotRecord = message.record;
            break;
        case UpMessage::Kind::Say:
            if (const std::string power = "power control failed: ";
                m_config.power && message.text.starts_with(power)) {
                PowerFailed(slot, message.text.substr(power.size()));  // its own line's
                break;
            }
            Note(EscapeName(slot.status.slot) + ": " + EscapeName(message.text));
            break;
        case UpMessage::Kind::Ending:
            slot.ending = message.text;
            break;
        case UpMessage::Kind::Unit:
            if (slot.unit && message.unit.lease == slot.unit->lease) {
                slot.unitReport = message.unit;
            }
            break;
        case UpMessage::Kind::Beat:
            break;
    }
}

void Station::OnBoxEnded(Slot& slot, const SessionEnd& end) {
    std::optional<BoxRecord> record = std::exchange(slot.slotRecord, std::nullopt);
    const bool slotJudged = record.has_value();
    if (!record) {
        // The slot could not judge its box (it died): the station's copy of the session does.
        record = end.record;
        if (record && slot.gone) {
            CloseKilledFiles(slot, *record, end.ended);
        }
    }
    if (record) {
        // Before the record is kept: a record the station made names the unit too.
        SettleUnit(slot, &*record, slotJudged);
        Keep(slot, *record, slotJudged);
        DealUnit(slot);
    }
    Journal(slot, false);  // no box in flight any more
}

void Station::Keep(Slot& slot, const BoxRecord& judged, bool slotJudged) {
    BoxRecord tagged = judged;
    if (slot.scanned) {
        tagged.boxId = slot.scanned;  // the box is the one its label names
    }
    // A pass the database knew of; one in the report is named by the record book itself.
    tagged.repeatOf = tagged.repeatOf ? tagged.repeatOf : slot.repeatOf;
    const bool retry = TagAttempt(slot, tagged, !slot.silentRetry);
    const RecordBook::Kept kept = m_records->Keep(tagged);
    const BoxRecord& record = kept.record;
    std::string said = record.reason + (record.boxId ? ", box " + *record.boxId : std::string());
    // A box refused as a repeat says so in its reason already.
    if (!kept.repeat.empty() && record.reasonCode != EndReasonCode(EndReason::BoxRepeat)) {
        said += "; " + kept.repeat;
    }
    if (record.attempt > 1 || retry) {
        said += "; attempt " + std::to_string(record.attempt) +
                (retry ? ", tried again" : std::string());
    }
    // The slot said why its log was lost; the station keeps serving and ends with 8. A log the
    // station closed for a killed slot lost its end with the slot, which its FAIL says.
    m_logsLost = m_logsLost || (slotJudged && !record.logComplete);
    m_recordFailed = m_recordFailed || !kept.error.empty();
    if (!retry) {
        if (record.Passed()) {
            slot.lastPass = record;
        }
        // A box counts once, by its final attempt.
        ++slot.boxes;
        CountVerdict(slot.status, VerdictOf(record));
    }
    m_observer->OnBoxJudged(slot.status.slot, record, said, kept.error);
    m_observer->OnRecordFinal(slot.status.slot, kept.line);
    if (m_recordFailed) {
        FinishAll();
        return;
    }
    AfterAttempt(slot, record, retry);
    if (retry) {
        SendScan(slot);  // the same box again: the slot had forgotten its scan with its record
    } else {
        ForgetScan(slot);
    }
}

void Station::OnExit(std::size_t index, const SlotExit& exit) {
    Slot& slot = *m_slots.at(index);
    slot.gone = true;
    if (slot.session->Running()) {
        // The slot is gone; so is the download it ran. A box in its session gets its record
        // from the station's copy.
        DownloadEnded ended;
        ended.reason = EndReason::SlotCrashed;
        ended.failure =
            SysFailure(SysResult{SysStatus::Failed, "", 0}, "",
                       slot.hung     ? std::string("slot process stopped responding")
                       : slot.broken ? std::string("the slot's channel failed")
                       : exit.signal != 0
                           ? "the slot's process ended by signal " + std::to_string(exit.signal)
                           : "the slot's process ended with status " + std::to_string(exit.status));
        slot.slotRecord.reset();
        slot.session->OnEnded(ended);
    }
    // The process is gone: what is left in its hidden files is no box's.
    for (const std::optional<std::string>& file : {slot.logFile, slot.captureFile}) {
        if (file) {
            RemoveHiddenBoxFile(*file);
        }
    }
    if (m_journal) {
        m_journal->Remove(slot.index);
    }
    SettleLeftUnit(slot, exit.signal == 0 && !slot.hung && !slot.broken);
    const std::string why = slot.ending.empty() ? exit.lastWords : slot.ending;
    const std::string because = why.empty() ? std::string() : ": " + EscapeName(why);
    if (slot.takenOut && m_stopSignal == 0) {
        slot.phase = Phase::TakenOut;  // until the operator puts it back
    } else if (m_stopSignal != 0 || m_recordFailed || m_finishing || m_wrongImage || slot.refused) {
        slot.phase = Phase::Done;
    } else if (exit.status == kSlotWrongImage) {
        // The image was replaced under the line: no slot takes another box, and the station
        // ends as for a changed image.
        Note(EscapeName(slot.status.slot) + ": the slot stops serving" + because);
        m_wrongImage = true;
        slot.phase = Phase::Done;
        FinishAll();
    } else if (exit.status == kExitUnitPool) {
        m_unitRefused = true;
        slot.phase = Phase::Done;
    } else if (exit.status == kSlotCannotServe || exit.status == 127) {
        Note(EscapeName(slot.status.slot) + ": the slot cannot serve" + because);
        m_unservable = true;
        slot.phase = Phase::Done;
    } else if (MoreBoxes(slot)) {
        // A slot that died is started again, a second later so that one that cannot live does
        // not spin.
        slot.phase = Phase::Restarting;
        slot.nextTry = Now() + kTick;
    } else {
        slot.phase = Phase::Done;
    }
}

void Station::DealUnit(Slot& slot) {
    if (m_config.units == nullptr || slot.unit || slot.phase != Phase::Running || slot.gone ||
        m_unitRefused || !MoreBoxes(slot)) {
        return;
    }
    UnitData unit = m_config.units->Deal(slot.status.slot);
    for (const std::string& line : m_config.units->Warnings()) {
        // Said once on the terminal; shown on every slot, and so on the broker, from now on.
        Note(line);
        for (auto& each : m_slots) {
            each->status.warning = line;
            Show(*each, true);
        }
        ShowAll();
    }
    slot.peer->Send(InputMessage(SlotInput{SlotInput::Kind::UnitData, {}, unit, {}}));
    if (!unit.refusal) {
        slot.unit = std::move(unit);
        slot.unitReport.reset();
        return;
    }
    // The slot fails its box in hand, if any, and ends with 9; every other slot finishes the
    // box it has and takes no other.
    Note(EscapeName(slot.status.slot) + ": " + EscapeName(unit.why) + "; no further box is served");
    m_unitRefused = true;
    m_finishing = true;
    FinishAll();
}

void Station::Settle(Slot& slot, UnitDealer::Verdict verdict, const std::string& recordId) {
    const std::string lease = slot.unit->lease;
    slot.unit.reset();
    slot.unitReport.reset();
    if (Result<void> settled = m_config.units->Settle(lease, verdict, recordId); !settled) {
        // The lease stays leased: the station's next start spoils it, never gives it again.
        Note(EscapeName(slot.status.slot) + ": the unit pool cannot keep what became of a unit: " +
             EscapeName(settled.Failure().Describe()));
    }
}

void Station::SettleUnit(Slot& slot, BoxRecord* record, bool slotJudged) {
    if (!slot.unit) {
        return;
    }
    const std::optional<UnitReport>& report = slot.unitReport;
    if (slotJudged) {
        // The slot serves a unit to a box before its first data answer and says so; a box that
        // ended before that leaves the unit in the slot's hands for the next.
        if (report && report->ended) {
            Settle(slot, LeaseVerdict(record->Passed(), report->reached), record->id);
        }
        return;
    }
    // The slot died with the box: whatever of the region it had sent is unknown, so the values
    // are spoiled, never given again.
    if (m_config.slot.unit) {
        UnitValues values;
        values.fieldTexts = slot.unit->fields;
        record->unit = UnitShown(*m_config.slot.unit, values);
        if (report) {
            record->servedSha256 = report->servedSha256;
        }
    }
    Settle(slot, UnitDealer::Verdict::Spoiled, record->id);
}

void Station::SettleLeftUnit(Slot& slot, bool clean) {
    if (!slot.unit) {
        return;
    }
    // A slot that ended well judged every box it served: a unit it still held went to none.
    const bool untouched = clean && (!slot.unitReport || slot.unitReport->reached == 0);
    Settle(slot, untouched ? UnitDealer::Verdict::Free : UnitDealer::Verdict::Spoiled, {});
}

void Station::StopNow(int signo) {
    m_stopSignal = signo;
    m_stopDeadline = Now() + kStopBound;
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->peer->Send(StopMessage());
            slot->session->SetState(SlotState::Stopping);
        } else {
            slot->phase = Phase::Done;
        }
    }
}

void Station::Finish() {
    m_finishing = true;
    int inFlight = 0;
    for (const auto& slot : m_slots) {
        inFlight += slot->phase == Phase::Running && slot->session->InSession() ? 1 : 0;
    }
    Note("finishing " + std::to_string(inFlight) + (inFlight == 1 ? " box" : " boxes") +
         "; Ctrl-C again to stop now");
    FinishAll();
    UpdateScans();  // a slot without a box in hand waits for no scan any more
}

void Station::FinishAll() {
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->peer->Send(FinishMessage());
        } else if (slot->phase != Phase::Done && slot->phase != Phase::TakenOut) {
            slot->phase = Phase::Done;
        }
    }
}

void Station::TakeAsks() {
    const int signo = m_signal.exchange(0);
    if (signo != 0 && m_stopSignal == 0) {
        StopNow(signo);
    } else if (m_finishAsked.exchange(false) && m_stopSignal == 0 && !m_finishing) {
        Finish();
    }
    TakePowerDone();
    TakeSlotAsks();
    TakeScanAsks();
    TakeReprintAsks();
}

void Station::Tick() {
    const Clock::time_point now = Now();
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Restarting && now >= slot->nextTry) {
            Spawn(*slot);
        } else if (slot->phase == Phase::Running && slot->status.state == SlotState::Loading) {
            slot->session->Tick();  // a box gone quiet shows as stalled
            Show(*slot, false);
        }
        if (slot->phase == Phase::Running && slot->session->InSession()) {
            Journal(*slot, false);
        }
        RetryTick(*slot);
        if (slot->phase != Phase::Running || (m_stopSignal != 0 && now >= m_stopDeadline)) {
            continue;
        }
        if (!slot->hung && slot->session->InSession() &&
            now - slot->lastWord > WatchdogFor(m_config.slot.baud)) {
            slot->hung = true;
            Note(EscapeName(slot->status.slot) +
                 ": the slot's process stopped responding and was killed");
            slot->peer->Kill();
        }
    }
    KillPastStopBound();
    ShowAll();
}

void Station::KillPastStopBound() {
    if (m_stopSignal == 0 || Now() < m_stopDeadline) {
        return;
    }
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->peer->Kill();
        }
    }
}

std::chrono::milliseconds Station::ListenBound(std::chrono::milliseconds most) const {
    const Clock::time_point now = Now();
    // Past the bound the slots are killed, and their ends wake the wait.
    if (m_stopSignal == 0 || now >= m_stopDeadline) {
        return most;
    }
    return std::min(most, std::chrono::ceil<std::chrono::milliseconds>(m_stopDeadline - now));
}

bool Station::Done() const {
    for (const auto& slot : m_slots) {
        if (slot->phase != Phase::Done && slot->phase != Phase::TakenOut) {
            return false;
        }
    }
    return true;
}

std::vector<SlotStatus> Station::Statuses() const {
    std::vector<SlotStatus> out;
    out.reserve(m_slots.size());
    for (const auto& slot : m_slots) {
        out.push_back(slot->status);
    }
    return out;
}

StationEnd Station::End() {
    StationEnd end;
    end.signal = m_stopSignal;
    end.recordNotWritten = m_recordFailed || m_logsLost;
    end.unservable = m_unservable;
    end.wrongImage = m_wrongImage;
    end.unitPool = m_unitRefused;
    end.allTakenOut = !m_slots.empty();
    for (const auto& slot : m_slots) {
        end.someFailed = end.someFailed || slot->status.fails > 0;
        end.allTakenOut = end.allTakenOut && slot->takenOut;
    }
    if (!m_slots.empty()) {
        ShowAll();
        m_observer->OnStationEnded();
    }
    return end;
}

StationEnd Station::Run() {
    if (!Begin()) {
        return End();
    }
    Clock::time_point nextTick = Now() + kTick;
    while (!Done()) {
        Listen(ListenBound(std::chrono::milliseconds(250)));
        TakeAsks();
        KillPastStopBound();  // at its time, not at the next tick
        if (Now() >= nextTick) {
            Tick();
            nextTick = Now() + kTick;
        }
    }
    return End();
}

StationEnd RunStation(StationConfig config, StationObserver* observer) {
    Station station(std::move(config), observer);
    return station.Run();
}
