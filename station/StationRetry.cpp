// The station's power actions, retries and slots taken out of service (Station.h says when).
#include <algorithm>
#include <filesystem>

#include "platform/codepage/ShownText.h"
#include "record/RecordId.h"
#include "station/Alarm.h"
#include "station/SlotFeed.h"
#include "station/Station.h"
#include "station/StationSlot.h"

namespace {

SysFailure Why(const std::string& text) {
    return SysFailure(SysResult{SysStatus::Failed, "", 0}, "", text);
}

}  // namespace

bool Station::StationCounts() const {
    return m_config.retry.retries > 0 || m_config.retry.takeOutAfter > 0;
}

bool Station::TagAttempt(Slot& slot, BoxRecord& record, bool mayRetry) const {
    record.attempt = slot.attempt;
    record.retryOf = slot.attempt > 1 ? std::optional<std::string>(slot.firstId) : std::nullopt;
    if (slot.attempt > 1 && slot.firstBoxId) {
        record.boxId = slot.firstBoxId;  // the same box, whether or not it said so again
    }
    const bool goesOn =
        m_stopSignal == 0 && !m_recordFailed && !m_finishing && !m_wrongImage && !slot.takenOut;
    // A port that went away mid-box and is not back cannot take a retry.
    const bool lost = record.reasonCode == "port-lost" || record.reasonCode == "port-not-opened";
    std::error_code error;
    const bool portThere = !lost || std::filesystem::exists(slot.place.device, error);
    record.final = !(mayRetry && RetryFollows(m_config.retry, record, goesOn, portThere));
    return !record.final;
}

void Station::AfterAttempt(Slot& slot, const BoxRecord& kept, bool retry) {
    if (retry) {
        if (slot.attempt == 1) {
            slot.firstId = kept.id;
            slot.firstBoxId = kept.boxId;
        }
        ++slot.attempt;
        slot.lastAttempt = kept;
        Note(EscapeName(slot.status.slot) + ": trying the box again (attempt " +
             std::to_string(slot.attempt) + " of " + std::to_string(m_config.retry.retries + 1) +
             ")");
        if (m_config.power) {
            slot.cycle = Slot::Cycle::Off;
            slot.cycleRetries = true;
            PowerAct(slot, PowerAction::Off);
        } else {
            ArmRetry(slot);
        }
        return;
    }
    slot.attempt = 1;
    slot.firstId.clear();
    slot.firstBoxId.reset();
    slot.lastAttempt.reset();
    slot.retryUntil.reset();
    const bool out = slot.failRun.Count(m_config.retry, kept);
    if (out) {
        TakeOut(slot, TakenOutText(slot.failRun.inRow));
    }
    if (m_config.power && kept.result != BoxResult::Aborted &&
        (m_config.scan.required || m_config.power->offAfter == PowerOffAfter::Always ||
         (m_config.power->offAfter == PowerOffAfter::Fail && !kept.Passed()))) {
        // The box is left off; a slot that goes on to another box has it on again after the
        // off time, as in a cycle, or, where each box is scanned, once the next is scanned.
        slot.cycle = Slot::Cycle::Off;
        slot.cycleRetries = false;
        if (out || !MoreBoxes(slot) || m_config.scan.required) {
            slot.cycle = Slot::Cycle::None;
        }
        PowerAct(slot, PowerAction::Off);
    }
    if (!out && StationCounts() && slot.phase == Phase::Running && !MoreBoxes(slot)) {
        slot.peer->Send(FinishMessage());  // its last box: the slot's process takes no other
    }
}

void Station::PowerAct(Slot& slot, PowerAction action) {
    if (!m_config.power) {
        return;
    }
    if (m_config.power->BySlot()) {
        // The slot's own line (dtr, rts) switches its box: the slot sets it when asked, at
        // once, and says so only when it cannot.
        if (slot.phase == Phase::Running) {
            slot.peer->Send(
                InputMessage(TextInput(SlotInput::Kind::PowerSwitch, PowerActionWord(action))));
        }
        OnPowerDone(slot, action, PowerOutcome{});
        return;
    }
    if (m_config.switches == nullptr) {
        return;
    }
    m_config.switches->Start(slot.index, action);
}

void Station::TakePowerDone() {
    if (m_config.switches == nullptr) {
        return;
    }
    for (const PowerControl::Done& done : m_config.switches->TakeDone()) {
        if (done.slot < m_slots.size()) {
            OnPowerDone(*m_slots[done.slot], done.action, done.outcome);
        }
    }
}

void Station::OnPowerDone(Slot& slot, PowerAction action, const PowerOutcome& outcome) {
    const std::string word = PowerActionWord(action);
    if (slot.phase == Phase::Running && !m_config.power->BySlot()) {
        slot.peer->Send(
            InputMessage(TextInput(SlotInput::Kind::PowerCycled,
                                   outcome.ok ? word : word + " failed: " + outcome.reason)));
    }
    if (!outcome.ok) {
        PowerFailed(slot, outcome.reason);
        const bool cycleStep = (slot.cycle == Slot::Cycle::Off && action == PowerAction::Off) ||
                               (slot.cycle == Slot::Cycle::On && action == PowerAction::On);
        if (cycleStep) {
            // A retry goes on without power control: the box may start again by itself.
            slot.cycle = Slot::Cycle::None;
            slot.powerOnAt.reset();
            if (slot.cycleRetries) {
                ArmRetry(slot);
            }
        }
        return;
    }
    slot.powerTold = false;
    if (!slot.powerTrouble.empty()) {
        slot.powerTrouble.clear();
        ShowOverlay(slot);
    }
    if (slot.cycle == Slot::Cycle::Off && action == PowerAction::Off) {
        slot.cycle = Slot::Cycle::OffTime;
        slot.powerOnAt = Now() + m_config.power->offTime;
    } else if (slot.cycle == Slot::Cycle::On && action == PowerAction::On) {
        slot.cycle = Slot::Cycle::None;
        if (slot.cycleRetries) {
            ArmRetry(slot);
        }
    }
}

void Station::PowerFailed(Slot& slot, const std::string& reason) {
    const std::string text = "power control failed: " + reason;
    if (!slot.powerTold) {
        Note(EscapeName(slot.status.slot) + ": " + EscapeName(text) + "; no box is counted for it");
        slot.powerTold = true;
    }
    slot.powerTrouble = text;
    ShowOverlay(slot);
}

void Station::Overlay(Slot& slot) {
    const SlotState state = slot.status.state;
    const bool busy = state == SlotState::Loading || state == SlotState::Stopping;
    if (slot.takenOut && !busy) {
        ApplyState(slot.status, SlotState::TakenOut, Why(slot.outWhy));
    } else if (!slot.powerTrouble.empty() && !busy && state != SlotState::BoxTalking &&
               state != SlotState::NoRequest) {
        ApplyState(slot.status, SlotState::PowerFailed, Why(slot.powerTrouble));
    }
}

void Station::ShowOverlay(Slot& slot) {
    if (slot.status.state == SlotState::TakenOut || slot.status.state == SlotState::PowerFailed) {
        // Back to what the slot's own session holds; its port's problem was left as it stood.
        const std::optional<PortProblem> port = slot.status.port;
        ApplyState(slot.status, slot.session->State(), SysFailure{});
        slot.status.port = port;
    }
    Overlay(slot);
    Show(slot, true);
    ShowAll();
}

void Station::ArmRetry(Slot& slot) {
    // Without a silence bound the slot waits for the box as for any other.
    if (m_config.slot.timeoutSeconds > 0) {
        slot.retryUntil = Now() + std::chrono::seconds(m_config.slot.timeoutSeconds);
        slot.retryFrom = std::chrono::system_clock::now();
    }
}

void Station::RetryTick(Slot& slot) {
    const Clock::time_point now = Now();
    if (slot.powerOnAt && now >= *slot.powerOnAt) {
        slot.powerOnAt.reset();
        slot.cycle = Slot::Cycle::On;
        PowerAct(slot, PowerAction::On);
    }
    if (slot.retryUntil && now >= *slot.retryUntil && !slot.session->InSession()) {
        slot.retryUntil.reset();
        JudgeSilentRetry(slot);
    }
}

void Station::JudgeSilentRetry(Slot& slot) {
    if (!slot.lastAttempt || slot.phase != Phase::Running) {
        return;
    }
    BoxRecord r = *slot.lastAttempt;
    r.id = NewRecordId();
    r.result = BoxResult::Fail;
    r.reason = "box silent for " + std::to_string(m_config.slot.timeoutSeconds) +
               " s: it did not start again";
    r.reasonCode = "box-silent";
    r.start = slot.retryFrom;
    r.end = std::chrono::system_clock::now();
    r.seconds = std::chrono::duration<double>(r.end - r.start).count();
    r.bytes = r.requests = 0;
    r.coverage = r.coverageSent = 0;
    r.logFile.reset();
    r.logComplete = true;
    r.repeatOf.reset();
    slot.silentRetry = true;
    Keep(slot, r, false);
    slot.silentRetry = false;
}

void Station::TakeOut(Slot& slot, const std::string& why) {
    if (slot.takenOut) {
        return;
    }
    slot.takenOut = true;
    slot.outWhy = why;
    Note(EscapeName(slot.status.slot) + ": " + why);
    ShowOverlay(slot);
    if (slot.phase == Phase::Running) {
        slot.peer->Send(FinishMessage());  // the box in hand finishes; it takes no other
    } else if (slot.phase == Phase::Restarting || slot.phase == Phase::Idle) {
        slot.phase = Phase::TakenOut;
    }
}

void Station::PutBack(Slot& slot) {
    if (!slot.takenOut) {
        return;
    }
    slot.takenOut = false;
    slot.failRun = FailRun{};
    Note(EscapeName(slot.status.slot) + ": put back into service");
    if (slot.phase == Phase::TakenOut && MoreBoxes(slot)) {
        Spawn(slot);
        if (m_config.power && m_config.power->onStart) {
            PowerAct(slot, PowerAction::On);
        }
    } else if (slot.phase == Phase::TakenOut) {
        slot.phase = Phase::Done;
    }
    slot.outWhy.clear();
    ShowOverlay(slot);
}

bool Station::AskPutBack(const std::string& label) {
    return AskForSlot(label, true);
}

bool Station::AskTakeOut(const std::string& label) {
    return AskForSlot(label, false);
}

bool Station::AskForSlot(const std::string& label, bool putBack) {
    const auto found = std::find(m_config.labels.begin(), m_config.labels.end(), label);
    if (found == m_config.labels.end()) {
        return false;
    }
    {
        std::lock_guard lock(m_asksLock);
        m_slotAsks.emplace_back(static_cast<std::size_t>(found - m_config.labels.begin()), putBack);
    }
    m_transport.Wake();
    return true;
}

void Station::TakeSlotAsks() {
    std::vector<std::pair<std::size_t, bool>> asks;
    {
        std::lock_guard lock(m_asksLock);
        asks.swap(m_slotAsks);
    }
    for (const auto& [index, putBack] : asks) {
        if (index >= m_slots.size() || m_stopSignal != 0) {
            continue;
        }
        Slot& slot = *m_slots[index];
        if (putBack) {
            PutBack(slot);
        } else {
            TakeOut(slot, kTakenOutByOperator);
        }
    }
}
