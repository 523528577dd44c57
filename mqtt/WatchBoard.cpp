#include "mqtt/WatchBoard.h"

#include <cmath>

#include "download/SlotState.h"
#include "platform/codepage/ShownText.h"
#include "station/ColumnText.h"
#include "station/SlotLook.h"

namespace {

// The table's columns, in characters; one space after each.
constexpr std::size_t kSlotWidth = 31;
constexpr std::size_t kStateWidth = 12;
constexpr std::size_t kPercentWidth = 4;
constexpr std::size_t kRateWidth = 10;
constexpr std::size_t kEtaWidth = 6;
constexpr std::size_t kCountWidth = 5;
constexpr std::size_t kLastWidth = 40;
constexpr std::size_t kStationWidth = 40;
// Beneath a slot's row, under its state: what holds it up.
constexpr std::size_t kTroubleIndent = 2 + kSlotWidth + 1;
constexpr std::size_t kTroubleWidth = 80;
// A name or reason on a line of its own (not on a terminal): long, but still bounded.
constexpr std::size_t kLineFieldWidth = 120;

// `raw` escaped and cut to `width` characters, ending in "…" when cut. Only its first bytes are
// looked at: 4 * width + 4 bytes hold more than `width` characters.
std::string Cut(const std::string& raw, std::size_t width) {
    std::string text = Column(EscapeName(std::string_view(raw).substr(0, 4 * width + 4)), width);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string Pad(const std::string& shown, std::size_t width) {
    return Column(shown, width) + " ";
}

std::string StateShown(const WatchedSlot& slot) {
    if (!slot.heard) {
        return "?";
    }
    if (!slot.unknownState.empty()) {
        return Cut(slot.unknownState, kStateWidth);  // a newer station's word, as it came
    }
    const std::string stalled = StalledText(slot.status.figures);
    return stalled.empty() ? SlotStateWords(slot.status.state) : stalled;
}

std::string Row(const std::string& shownName, const WatchedSlot& slot) {
    const SlotStatus& s = slot.status;
    const ProgressFigures& f = s.figures;
    const bool stalled = f.stalledSeconds.has_value();
    std::string eta = "-";
    if (f.etaSeconds && !stalled) {
        eta = std::to_string(std::llround(*f.etaSeconds));
    }
    std::string row = "  " + Pad(shownName, kSlotWidth) + Pad(StateShown(slot), kStateWidth) +
                      Pad(slot.heard ? std::to_string(f.percent) : "-", kPercentWidth) +
                      Pad(stalled ? "0 B/s" : ShownRate(f.rate), kRateWidth) + Pad(eta, kEtaWidth) +
                      Pad(std::to_string(s.passes), kCountWidth) +
                      Pad(std::to_string(s.fails), kCountWidth) +
                      (s.last ? Cut(VerdictText(*s.last), kLastWidth) : std::string());
    row.erase(row.find_last_not_of(' ') + 1);
    row += "\n";
    // What came from outside is escaped before the symbol goes in front of it.
    SlotStatus shown = s;
    if (shown.port) {
        shown.port->text = EscapeName(std::string_view(shown.port->text).substr(0, 400));
    }
    shown.hint = EscapeName(std::string_view(shown.hint).substr(0, 400));
    if (const std::string trouble = TroubleText(shown); !trouble.empty()) {
        std::string line = std::string(kTroubleIndent, ' ') + Column(trouble, kTroubleWidth);
        line.erase(line.find_last_not_of(' ') + 1);
        row += line + "\n";
    }
    return row;
}

}  // namespace

std::vector<std::string> WatchBoard::OnMessage(const std::string& topic,
                                               const std::string& payload) {
    const std::optional<LineMessage> message = DecodeLineMessage(topic, payload);
    if (!message) {
        return {};
    }
    const std::string shownStation = Cut(message->station, kLineFieldWidth);
    if (message->kind == LineMessage::Kind::Result && !message->overBound) {
        if (!message->record) {
            return {};  // a clearing, or no record
        }
        m_changed = m_line.OnResult(message->station, message->slot, *message->record) !=
                        WatchedLine::Change::Nothing ||
                    m_changed;
        const BoxRecord& record = *message->record;
        return {shownStation + " " + Cut(message->slot, kLineFieldWidth) + " " +
                Cut(VerdictText(VerdictOf(record)), kLineFieldWidth) +
                " id=" + Cut(record.id, kLineFieldWidth)};
    }
    if (m_line.Apply(*message) == WatchedLine::Change::Nothing) {
        return {};
    }
    m_changed = true;
    if (message->kind == LineMessage::Kind::Status) {
        return {shownStation + (*message->online ? " online" : " OFFLINE")};
    }
    return {};
}

std::string WatchBoard::Table() const {
    std::string text = Pad("STATION / SLOT", kSlotWidth + 2) + Pad("STATE", kStateWidth) +
                       Pad("%", kPercentWidth) + Pad("RATE", kRateWidth) + Pad("ETA S", kEtaWidth) +
                       Pad("PASS", kCountWidth) + Pad("FAIL", kCountWidth) + "LAST\n";
    long long passes = 0;
    long long fails = 0;
    int online = 0;
    for (const auto& [name, station] : m_line.Stations()) {
        int stationPasses = 0;
        int stationFails = 0;
        int stationFirst = 0;
        std::string rows;
        for (const WatchedStation::Shown& shown : station.ShownSlots()) {
            const std::string label = shown.port.empty() || shown.port == shown.label
                                          ? shown.label
                                          : shown.label + " " + shown.port;
            rows += Row(Cut(label, kSlotWidth), *shown.slot);
            // Each count is at most a billion (the codec's bound), 256 of them to a station.
            stationPasses = static_cast<int>(
                std::min<long long>(stationPasses + shown.slot->status.passes, 2'000'000'000));
            stationFails = static_cast<int>(
                std::min<long long>(stationFails + shown.slot->status.fails, 2'000'000'000));
            stationFirst = static_cast<int>(
                std::min<long long>(stationFirst + shown.slot->status.firstPasses, 2'000'000'000));
        }
        const bool isOnline = station.online.value_or(false);
        online += isOnline ? 1 : 0;
        const std::string about = station.info ? "  stavel " + Cut(station.info->version, 16) +
                                                     " since " + Cut(station.info->started, 24)
                                               : std::string();
        text += Cut(name, kStationWidth) +
                (station.online ? (isOnline ? "" : "  ** OFFLINE **") : "  (status unknown)") +
                about + "  yield " + YieldText(stationPasses, stationFails) + ", first pass " +
                FirstPassText(stationFirst, stationPasses, stationFails) + "\n" + rows;
        passes += stationPasses;
        fails += stationFails;
    }
    text += "\n" + std::to_string(m_line.Stations().size()) + " station(s), " +
            std::to_string(online) + " online; " + std::to_string(passes) + " passed, " +
            std::to_string(fails) + " failed\n";
    return text;
}
