#include "hosts/cli/StationView.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <cmath>

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "record/BoxRecordCodec.h"

namespace {

bool TerminalTakesEscapes() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

std::string Now() {
    return IsoUtcMillis(std::chrono::system_clock::now());
}

}  // namespace

StationView::StationView(bool json) : m_json(json), m_live(TerminalTakesEscapes()) {}

void StationView::Above(const std::string& text) {
    if (m_live && m_drawnLines > 0) {
        // Up to the table's first line and clear from there; the table is drawn again next.
        WriteStderr("\r\x1b[" + std::to_string(m_drawnLines) + "A\x1b[J" + text);
        m_drawnLines = 0;
        return;
    }
    WriteStderr(text);
}

void StationView::BoxStarted(const std::string& slot) {
    if (!m_live) {
        WriteStderr("stavel: " + EscapeName(slot) + ": box started\n");
    }
    if (m_json) {
        WriteStdout(
            JsonLine(Json{{"event", "started"}, {"time", Now()}, {"slot", JsonText(slot)}}) + "\n");
    }
}

void StationView::Progress(const SlotStatus& status) {
    if (!m_json) {
        return;
    }
    const ProgressFigures& f = status.figures;
    Json eta = nullptr;
    if (f.etaSeconds) {
        eta = std::lround(*f.etaSeconds);
    }
    const Json line{
        {"event", "progress"},          {"time", Now()},   {"slot", JsonText(status.slot)},
        {"percent", f.percent},         {"bytes", f.done}, {"size", f.size},
        {"rate", std::llround(f.rate)}, {"eta", eta},
    };
    WriteStdout(JsonLine(line) + "\n");
}

void StationView::BoxEnded(const std::string& slot, BoxResult result, const std::string& reason,
                           double seconds, const Json& record, const std::string& recordError) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    std::string verdict;
    switch (result) {
        case BoxResult::Pass:
            verdict = "PASS in " + std::string(time) + reason;  // a pass's reason: its box
            break;
        case BoxResult::Fail:
            verdict = "FAIL " + reason;
            break;
        case BoxResult::Aborted:
            verdict = "ABORTED " + reason;
            break;
    }
    if (!recordError.empty()) {
        verdict += ", record not written: " + recordError;
    }
    Above("stavel: " + EscapeName(slot) + ": " + EscapeName(verdict) + "\n");
    if (m_json) {
        const char* event = result == BoxResult::Pass   ? "passed"
                            : result == BoxResult::Fail ? "failed"
                                                        : "aborted";
        WriteStdout(
            JsonLine(Json{
                {"event", event}, {"time", Now()}, {"slot", JsonText(slot)}, {"record", record}}) +
            "\n");
    }
}

void StationView::PortState(const std::string& slot, SlotState state, const std::string& why) {
    if (state == SlotState::NoRequest) {
        Above("stavel: " + EscapeName(slot) + ": box talking, no request: " + EscapeName(why) +
              "\n");
    } else {
        Above("stavel: " + EscapeName(slot) + ": " +
              (state == SlotState::PortBusy ? "port busy" : "port absent") +
              (why.empty() ? std::string() : ": " + EscapeName(why)) +
              "; trying again every second\n");
    }
    if (m_json) {
        WriteStdout(JsonLine(Json{{"event", "state"},
                                  {"time", Now()},
                                  {"slot", JsonText(slot)},
                                  {"state", SlotStateCode(state)},
                                  {"why", JsonText(why)}}) +
                    "\n");
    }
}

void StationView::Message(const std::string& text) {
    Above("stavel: " + text + "\n");
}

std::string StationTableText(const std::vector<SlotStatus>& slots) {
    std::string text;
    // Eighty columns: the slot's name shortened in the middle, its state and figures, its tally
    // (passed/failed/aborted), the last box's identity once boxes print one, and the last
    // verdict with its reason, cut to what is left.
    const bool ids = std::any_of(slots.begin(), slots.end(),
                                 [](const SlotStatus& s) { return !s.boxId.empty(); });
    char line[512];
    std::snprintf(line, sizeof line, "%-12s %-10s %4s %9s %5s %-10s %s%s\x1b[K\n", "SLOT", "STATE",
                  "%", "RATE", "ETA", "P/F/A", ids ? "BOX        " : "", "LAST");
    text += line;
    for (const SlotStatus& s : slots) {
        const std::string tally = std::to_string(s.passes) + "/" + std::to_string(s.fails) + "/" +
                                  std::to_string(s.aborts);
        std::snprintf(line, sizeof line, "%s %-10s %3d%% %9s %5s %-10s ",
                      Column(ShortenMiddle(EscapeName(s.slot), 12), 12).c_str(),
                      SlotStateWords(s.state), s.figures.percent, ShownRate(s.figures.rate).c_str(),
                      ShownEta(s.figures.etaSeconds.value_or(-1)).c_str(), tally.c_str());
        text += line;
        if (ids) {
            text += Column(ShortenMiddle(EscapeName(s.boxId), 10), 10) + " ";
        }
        text += Column(EscapeName(s.last), ids ? 12 : 23) + "\x1b[K\n";
    }
    return text;
}

void StationView::Table(const std::vector<SlotStatus>& slots) {
    if (!m_live) {
        return;
    }
    const std::string up =
        m_drawnLines > 0 ? "\r\x1b[" + std::to_string(m_drawnLines) + "A" : std::string();
    WriteStderr(up + StationTableText(slots));
    m_drawnLines = slots.size() + 1;
}

void StationView::EndTable() {
    m_drawnLines = 0;
}
