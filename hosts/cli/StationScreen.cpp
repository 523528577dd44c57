#include "hosts/cli/StationScreen.h"

#include <cstdio>

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "record/BoxRecordCodec.h"

StationScreen::StationScreen(bool json, StationObserver* also, bool bell)
    : m_also(also != nullptr ? *also : m_none), m_view(json), m_bell(bell) {}

void StationScreen::OnStationStarted(const std::vector<std::string>& slots) {
    m_also.OnStationStarted(slots);
}

void StationScreen::OnStationEnded() {
    m_view.EndTable();
    WriteStderr(TallyText(m_slots, m_time));
    m_view.TallyEvent(m_slots);
    m_also.OnStationEnded();
}

void StationScreen::OnSlotChanged(const SlotStatus& status) {
    m_also.OnSlotChanged(status);
    const auto shown = m_shown.find(status.slot);
    if (AlarmFor(shown == m_shown.end() ? std::nullopt : std::optional(shown->second), status)) {
        m_bell.Ring();
    }
    m_shown[status.slot] = status.state;
    if (status.state == SlotState::Loading) {
        m_view.Progress(status);
    }
}

void StationScreen::OnRecordFinal(const std::string& slot, const std::string& recordLine) {
    m_also.OnRecordFinal(slot, recordLine);
}

void StationScreen::OnMessage(const std::string& text) {
    m_view.Message(text);
    m_also.OnMessage(text);
}

void StationScreen::OnBoxStarted(const std::string& slot) {
    m_view.BoxStarted(slot);
    m_also.OnBoxStarted(slot);
}

void StationScreen::OnBoxJudged(const std::string& slot, const BoxRecord& record,
                                const std::string& said, const std::string& recordError) {
    m_time[slot] += record.seconds;
    if (AlarmFor(record)) {
        m_bell.Ring();
    }
    m_view.BoxEnded(slot, record.result, said, record.seconds, BoxRecordJson(record), recordError);
    m_also.OnBoxJudged(slot, record, said, recordError);
}

void StationScreen::OnBoxRecovered(const std::string& slot, const BoxRecord& record,
                                   const std::string& recordLine) {
    // The station said it; --json carries its record like any box's end, outside the tally.
    m_view.EndEvent(slot, record.result, BoxRecordJson(record));
    m_also.OnBoxRecovered(slot, record, recordLine);
}

void StationScreen::OnPortState(const std::string& slot, SlotState state, const std::string& why) {
    m_view.PortState(slot, state, why);
    m_also.OnPortState(slot, state, why);
}

void StationScreen::OnScan(const ScanNews& news) {
    m_view.Scan(news);
    m_also.OnScan(news);
}

void StationScreen::OnSlots(const std::vector<SlotStatus>& slots) {
    m_slots = slots;
    m_view.Table(slots);
    m_also.OnSlots(slots);
}

std::string TallyText(const std::vector<SlotStatus>& slots,
                      const std::map<std::string, double>& seconds) {
    std::string text = "stavel: tally\n";
    char line[512];
    std::snprintf(line, sizeof line, "  %-24s %7s %7s %7s %6s %8s %10s\n", "SLOT", "PASSED",
                  "FAILED", "ABORTED", "YIELD", "1ST PASS", "MEAN/BOX");
    text += line;
    SlotStatus total;
    double totalSeconds = 0;
    auto row = [&](const std::string& name, const SlotStatus& s, double time) {
        text += TallyRow(name, s.passes, s.fails, s.aborts, s.firstPasses, time);
    };
    for (const SlotStatus& s : slots) {
        const auto it = seconds.find(s.slot);
        const double time = it == seconds.end() ? 0.0 : it->second;
        row(EscapeName(s.slot), s, time);
        total.passes += s.passes;
        total.fails += s.fails;
        total.aborts += s.aborts;
        total.firstPasses += s.firstPasses;
        totalSeconds += time;
    }
    row("total", total, totalSeconds);
    return text;
}
