#include "hosts/cli/StationView.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "record/BoxRecordCodec.h"
#include "record/SecondsText.h"
#include "record/VerdictLine.h"
#include "station/SlotLook.h"

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
    if (f.etaSeconds && std::isfinite(*f.etaSeconds)) {
        eta = std::llround(*f.etaSeconds);
    }
    const Json line{
        {"event", "progress"},
        {"time", Now()},
        {"slot", JsonText(status.slot)},
        {"percent", f.percent},
        {"bytes", f.done},
        {"size", f.size},
        {"rate", std::isfinite(f.rate) ? std::llround(f.rate) : 0},
        {"eta", eta},
        {"stalled", f.stalledSeconds ? Json(*f.stalledSeconds) : Json(nullptr)},
    };
    WriteStdout(JsonLine(line) + "\n");
}

void StationView::BoxEnded(const std::string& slot, BoxResult result, const std::string& reason,
                           double seconds, const Json& record, const std::string& recordError) {
    // A pass's reason: its box.
    std::string verdict = std::string(VerdictWord(result)) +
                          (result == BoxResult::Pass ? " in " + SecondsText(seconds) : " ") +
                          reason;
    if (!recordError.empty()) {
        verdict += ", record not written: " + recordError;
    }
    Above("stavel: " + EscapeName(slot) + ": " + EscapeName(verdict) + "\n");
    EndEvent(slot, result, record);
}

void StationView::EndEvent(const std::string& slot, BoxResult result, const Json& record) {
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

void StationView::TallyEvent(const std::vector<SlotStatus>& slots) {
    if (!m_json) {
        return;
    }
    SlotStatus total;
    for (const SlotStatus& s : slots) {
        total.passes += s.passes;
        total.fails += s.fails;
        total.aborts += s.aborts;
        total.firstPasses += s.firstPasses;
    }
    const auto share = [](std::optional<double> yield) {
        return yield ? Json(*yield) : Json(nullptr);
    };
    WriteStdout(
        JsonLine(Json{{"event", "tally"},
                      {"time", Now()},
                      {"slot", nullptr},
                      {"passes", total.passes},
                      {"fails", total.fails},
                      {"aborts", total.aborts},
                      {"first_passes", total.firstPasses},
                      {"first_pass_yield",
                       share(FirstPassYieldOf(total.firstPasses, total.passes, total.fails))},
                      {"yield", share(YieldOf(total.passes, total.fails))}}) +
        "\n");
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

void StationView::Scan(const ScanNews& news) {
    Above("stavel: " + news.text + "\n");
    if (m_json) {
        WriteStdout(JsonLine(Json{{"event", "scan"},
                                  {"time", Now()},
                                  {"slot", news.slot.empty() ? Json(nullptr) : JsonText(news.slot)},
                                  {"refused", news.refused},
                                  {"text", JsonText(news.text)}}));
    }
}

namespace {

// The table's columns, in characters: eighty in all, with one space after each.
constexpr std::size_t kSlotWidth = 12;
constexpr std::size_t kStateWidth = 12;
constexpr std::size_t kTallyWidth = 9;
constexpr std::size_t kBoxWidth = 10;
constexpr std::size_t kLastWidth = 23;  // without the box's column
constexpr std::size_t kNoteIndent = kSlotWidth + 1;

// What holds the slot up, with what came from outside escaped.
std::string ShownTrouble(SlotStatus status) {
    if (status.port) {
        status.port->text = EscapeName(status.port->text);
    }
    status.hint = EscapeName(status.hint);
    return TroubleText(status);
}

}  // namespace

std::string StationTableText(const std::vector<SlotStatus>& slots) {
    std::string text;
    // The slot's name shortened in the middle, its state and figures (a stalled box: how long,
    // a rate of 0 and no time left), its tally (passed/failed/aborted), the last box's identity
    // once boxes print one, and the last verdict with its reason, cut to what is left. What holds
    // the slot up (its port, a box that asks for nothing) is a line beneath it.
    const bool ids = std::any_of(slots.begin(), slots.end(), [](const SlotStatus& s) {
        return s.last && !s.last->boxId.empty();
    });
    const std::size_t lastWidth = ids ? kLastWidth - kBoxWidth - 1 : kLastWidth;
    char line[512];
    std::snprintf(line, sizeof line, "%s %s %4s %9s %5s %s %s", Column("SLOT", kSlotWidth).c_str(),
                  Column("STATE", kStateWidth).c_str(), "%", "RATE", "ETA",
                  Column("P/F/A", kTallyWidth).c_str(), ids ? "BOX        " : "");
    text += std::string(line) + "LAST\x1b[K\n";
    for (const SlotStatus& s : slots) {
        const ProgressFigures& f = s.figures;
        const std::string stalled = StalledText(f);
        const std::string tally = std::to_string(s.passes) + "/" + std::to_string(s.fails) + "/" +
                                  std::to_string(s.aborts);
        std::snprintf(
            line, sizeof line, "%s %s %3d%% %9s %5s %s ",
            Column(ShortenMiddle(EscapeName(s.slot), kSlotWidth), kSlotWidth).c_str(),
            Column(stalled.empty() ? SlotStateWords(s.state) : stalled, kStateWidth).c_str(),
            std::clamp(f.percent, 0, 100), stalled.empty() ? ShownRate(f.rate).c_str() : "0 B/s",
            stalled.empty() ? ShownEta(f.etaSeconds.value_or(-1)).c_str() : "-",
            Column(tally, kTallyWidth).c_str());
        text += line;
        if (ids) {
            const std::string box = s.last ? s.last->boxId : std::string();
            text += Column(ShortenMiddle(EscapeName(box), kBoxWidth), kBoxWidth) + " ";
        }
        const std::string last = s.last ? EscapeName(VerdictText(*s.last)) : std::string();
        text += Column(last, lastWidth);
        text.erase(text.find_last_not_of(' ') + 1);
        text += "\x1b[K\n";
        if (const std::string trouble = ShownTrouble(s); !trouble.empty()) {
            text += std::string(kNoteIndent, ' ') + Column(trouble, 80 - kNoteIndent);
            text.erase(text.find_last_not_of(' ') + 1);
            text += "\x1b[K\n";
        }
    }
    return text;
}

std::string TallyRow(const std::string& name, int passed, int failed, int aborted, int firstPassed,
                     double seconds) {
    const int boxes = passed + failed + aborted;
    char mean[48] = "\u2013";  // –: no box to take the mean of
    if (boxes > 0) {
        std::snprintf(mean, sizeof mean, "%.1f s", seconds / boxes);
    }
    char line[512];
    std::snprintf(line, sizeof line, "  %s %7d %7d %7d %s %s %s\n",
                  Column(ShortenMiddle(name, 24), 24).c_str(), passed, failed, aborted,
                  RightColumn(YieldText(passed, failed), 6).c_str(),
                  RightColumn(FirstPassText(firstPassed, passed, failed), 8).c_str(),
                  RightColumn(mean, 10).c_str());
    return line;
}

void StationView::Table(const std::vector<SlotStatus>& slots) {
    if (!m_live) {
        return;
    }
    const std::string up =
        m_drawnLines > 0 ? "\r\x1b[" + std::to_string(m_drawnLines) + "A" : std::string();
    const std::string table = StationTableText(slots);
    WriteStderr(up + table);
    m_drawnLines = static_cast<std::size_t>(std::count(table.begin(), table.end(), '\n'));
}

void StationView::EndTable() {
    m_drawnLines = 0;
}
