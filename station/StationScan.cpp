// The operator's station: each box's scan given to its slot before its START is answered, boxes
// that passed before refused (Station.h, ScanDesk.h), and labels printed again.
#include <algorithm>

#include "platform/codepage/ShownText.h"
#include "station/Station.h"
#include "station/StationSlot.h"

void Station::AskScan(std::string scan, std::function<void(const ScanNews&)> answered) {
    {
        std::lock_guard lock(m_asksLock);
        m_scanAsks.emplace_back(std::move(scan), std::move(answered));
    }
    m_transport.Wake();
}

void Station::TakeScanAsks() {
    std::vector<std::pair<std::string, std::function<void(const ScanNews&)>>> asks;
    {
        std::lock_guard lock(m_asksLock);
        asks.swap(m_scanAsks);
    }
    for (const auto& [scan, answered] : asks) {
        TakeScan(scan, answered);
    }
}

std::vector<bool> Station::ScanWaits() const {
    std::vector<bool> waits;
    waits.reserve(m_slots.size());
    for (const auto& slot : m_slots) {
        // A box in hand that has not been scanned is held at its START; one whose START was
        // answered already has its scan (or needed none). A held box is in flight: a gentle
        // finish or a take-out lets it finish, so it may still be scanned (refused, it would
        // wait for a scan no one can give, for ever without a timeout). A slot without a box
        // in hand waits only while it takes another.
        const bool held =
            slot->session->InSession() && slot->status.state == SlotState::WaitingForScan;
        const bool next = !slot->session->InSession() && MoreBoxes(*slot);
        waits.push_back(m_config.scan.required && m_stopSignal == 0 &&
                        slot->phase == Phase::Running && !slot->scanned && (held || next));
    }
    return waits;
}

void Station::UpdateScans() {
    if (!m_desk) {
        return;
    }
    const std::vector<bool> waits = ScanWaits();
    const std::optional<std::size_t> target = m_desk->Target(waits);
    for (auto& slot : m_slots) {
        const SlotScan scan{waits[slot->index], target == slot->index,
                            slot->scanned.value_or(std::string())};
        if (slot->status.scan != scan) {
            slot->status.scan = scan;
            Show(*slot, true);
        }
    }
}

void Station::TakeScan(const std::string& scan,
                       const std::function<void(const ScanNews&)>& answered) {
    const auto tell = [&](ScanNews news) {
        m_observer->OnScan(news);
        if (answered) {
            answered(news);
        }
    };
    if (!m_desk) {
        tell({true, {}, "scan refused: this job takes no scans (it has no scan = \"required\")"});
        return;
    }
    const std::vector<bool> waits = ScanWaits();
    const ScanRoute route = m_desk->Route(scan, waits);
    if (route.kind == ScanRoute::Kind::Refused) {
        tell({true, {}, "scan refused: " + route.why});
        return;
    }
    Slot& slot = *m_slots.at(route.slot);
    const std::string name = EscapeName(slot.status.slot);
    if (route.kind == ScanRoute::Kind::Select) {
        UpdateScans();
        ShowAll();
        tell({false, slot.status.slot, name + ": the next scan goes to this slot"});
        return;
    }
    const std::string shown = EscapeName(route.id);
    for (const auto& other : m_slots) {
        if (other->scanned == route.id) {
            tell({true,
                  {},
                  "scan refused: box " + shown + " is already scanned for " +
                      EscapeName(other->status.slot)});
            return;
        }
    }
    slot.scanned = route.id;
    slot.refusal.reset();
    slot.repeatOf.reset();
    std::string said = name + ": box " + shown + " scanned";
    if (m_config.scan.blockRepeats) {
        if (const auto earlier = EarlierPass(route.id)) {
            slot.refusal = RepeatRefusal(shown, *earlier);
            slot.repeatOf = earlier->recordId;
            said += "; it gets no byte: " + *slot.refusal;
        }
    }
    SendScan(slot);
    m_desk->Given(route.slot, waits);
    if (m_config.power && slot.cycle == Slot::Cycle::None && !slot.refusal) {
        PowerAct(slot, PowerAction::On);  // the box is switched on only once it is known
    }
    UpdateScans();
    ShowAll();
    tell({false, slot.status.slot, said});
}

void Station::SendScan(Slot& slot) {
    if (slot.phase != Phase::Running || !slot.scanned) {
        return;
    }
    SlotInput scan = TextInput(SlotInput::Kind::ScannedBoxId, *slot.scanned);
    scan.why = slot.refusal.value_or(std::string());
    slot.peer->Send(InputMessage(scan));
}

void Station::OnConsoleId(Slot& slot, const std::string& boxId) {
    // Where each box is scanned it is checked when it is scanned, once: a box refused from its
    // console too would fail a second time when the operator scans it.
    if (!m_config.scan.blockRepeats || m_config.scan.required || slot.attempt > 1) {
        return;
    }
    if (const auto earlier = EarlierPass(boxId)) {
        // Not kept on the slot: it names this box, and the slot drops it with the box.
        if (slot.phase == Phase::Running) {
            SlotInput refused = TextInput(SlotInput::Kind::BoxRefused, boxId);
            refused.why = RepeatRefusal(EscapeName(boxId), *earlier);
            slot.peer->Send(InputMessage(refused));
        }
    }
}

std::optional<PassedBoxes::Earlier> Station::EarlierPass(const std::string& boxId) {
    if (const auto earlier = m_records->Passed(boxId)) {
        return earlier;
    }
    if (!m_config.earlierPass) {
        return std::nullopt;
    }
    return m_config.earlierPass(boxId, [this](const std::string& text) { Note(text); });
}

void Station::ForgetScan(Slot& slot) {
    slot.scanned.reset();
    slot.refusal.reset();
    slot.repeatOf.reset();
    UpdateScans();
}

bool Station::AskReprint(const std::string& label) {
    const auto found = std::find(m_config.labels.begin(), m_config.labels.end(), label);
    if (found == m_config.labels.end()) {
        return false;
    }
    {
        std::lock_guard lock(m_asksLock);
        m_reprintAsks.push_back(static_cast<std::size_t>(found - m_config.labels.begin()));
    }
    m_transport.Wake();
    return true;
}

void Station::TakeReprintAsks() {
    std::vector<std::size_t> asks;
    {
        std::lock_guard lock(m_asksLock);
        asks.swap(m_reprintAsks);
    }
    for (const std::size_t index : asks) {
        if (index >= m_slots.size()) {
            continue;
        }
        const Slot& slot = *m_slots[index];
        const std::string name = EscapeName(slot.status.slot);
        if (!m_reprinter) {
            Note(name + ": no label to print again: the job prints none (label, printer)");
        } else if (!slot.lastPass) {
            Note(name + ": no label to print again: no box has passed on it");
        } else if (!m_reprinter->Print(*slot.lastPass, slot.status.slot)) {
            Note(name + ": a label is being printed; ask again in a moment");
        }
    }
    if (m_reprinter) {
        for (const std::string& done : m_reprinter->TakeDone()) {
            Note(done);
        }
    }
}
