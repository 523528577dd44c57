#include "capture/CaptureSummary.h"

#include <map>
#include <memory>
#include <optional>

#include "capture/CaptureReader.h"
#include "capture/CaptureRequests.h"
#include "platform/codepage/ShownText.h"
#include "record/BoxRecordCodec.h"
#include "record/VerdictLine.h"

namespace {

struct Seen {
    std::optional<CapturedRequest> first;
    std::optional<CapturedRequest> last;
    std::map<std::uint8_t, std::uint64_t> byCommand;
    std::optional<Json> ended;    // the closing event
    std::optional<Json> stopped;  // why the capture stopped early
    std::uint64_t lastMicros = 0;
};

Seen ReadAll(CaptureReader& reader) {
    Seen seen;
    CaptureRequests requests;
    while (const std::optional<CaptureEntry> entry = reader.Next()) {
        seen.lastMicros = entry->micros;
        if (entry->kind == CaptureKind::Box) {
            requests.Feed(entry->body, entry->micros, [&](const CapturedRequest& request) {
                if (!seen.first) {
                    seen.first = request;
                }
                seen.last = request;
                ++seen.byCommand[request.command];
            });
        } else if (entry->kind == CaptureKind::Event) {
            std::optional<Json> event = ParseJsonObject(entry->body);
            if (event && JsonStringAt(*event, "event") == "ended") {
                seen.ended = std::move(event);
            }
        } else if (entry->kind == CaptureKind::Stopped) {
            seen.stopped = ParseJsonObject(entry->body);
        }
    }
    return seen;
}

std::string Verdict(const Seen& seen) {
    if (!seen.ended) {
        return "none: the capture ends before the box's verdict";
    }
    const auto record = seen.ended->find("record");
    if (record == seen.ended->end() || !record->is_object()) {
        return "none: the session ended without a box (" + JsonStringAt(*seen.ended, "reason") +
               ")";
    }
    const std::optional<BoxRecord> box = BoxRecordFromJson(*record);
    if (!box) {
        return "not readable: the session's record does not decode";
    }
    const std::string word = VerdictWord(box->result);
    return box->Passed() || box->reason.empty() ? word : word + " " + box->reason;
}

std::string Counts(const Seen& seen, std::uint64_t total) {
    const std::pair<std::uint8_t, const char*> kinds[] = {
        {1, "start"}, {3, "time"}, {2, "data"}, {4, "exit"}};
    std::string out = std::to_string(total);
    std::string parts;
    std::uint64_t named = 0;
    for (const auto& [command, word] : kinds) {
        const auto it = seen.byCommand.find(command);
        if (it != seen.byCommand.end()) {
            parts += (parts.empty() ? "" : ", ") + std::to_string(it->second) + " " + word;
            named += it->second;
        }
    }
    if (named < total) {
        parts += (parts.empty() ? "" : ", ") + std::to_string(total - named) + " other";
    }
    return parts.empty() ? out : out + " (" + parts + ")";
}

// Every value comes from the file, and so from the box or whoever sent the file: shown
// escaped, as a verdict line shows them, so that it cannot drive the terminal.
std::string Line(const char* name, const std::string& value) {
    std::string padded = name;
    padded.resize(10, ' ');
    return padded + EscapeName(value) + "\n";
}

}  // namespace

Result<std::string> CaptureSummaryText(const std::string& path) {
    Result<std::unique_ptr<CaptureReader>> opened = CaptureReader::Open(path);
    if (!opened) {
        return opened.Failure();
    }
    CaptureReader& reader = **opened;
    const Seen seen = ReadAll(reader);
    const Json& header = reader.Header();
    const Json started = header.contains("started") && header["started"].is_object()
                             ? header["started"]
                             : Json::object();
    const Json record =
        seen.ended && seen.ended->contains("record") && (*seen.ended)["record"].is_object()
            ? (*seen.ended)["record"]
            : Json::object();
    std::uint64_t total = 0;
    for (const auto& [command, count] : seen.byCommand) {
        total += count;
    }

    std::string text =
        Line("capture", path + " (format " + std::to_string(JsonWholeAt(header, "version")) + ", " +
                            std::to_string(reader.Offset()) + " bytes)");
    text += Line("box", JsonStringAt(record, "box_id", "not known"));
    text +=
        Line("slot", JsonStringAt(header, "slot") + " (" + JsonStringAt(started, "device") + ")");
    text += Line("verdict", Verdict(seen));
    text += Line("image", JsonStringAt(started, "image") + " (" +
                              std::to_string(JsonWholeAt(started, "size")) + " bytes, SHA-256 " +
                              JsonStringAt(started, "sha256") + ")");
    text += Line("started", JsonStringAt(header, "start"));
    text += Line("requests", Counts(seen, total));
    if (seen.first) {
        text += Line("first", CaptureSeconds(seen.first->micros) + "  " + RequestName(*seen.first));
        text += Line("last", CaptureSeconds(seen.last->micros) + "  " + RequestName(*seen.last));
    }
    if (seen.stopped) {
        const bool atMax = JsonStringAt(*seen.stopped, "stopped") == "capture-max";
        text += Line("stopped", (atMax ? "at --capture-max (" : "the disk fell behind (") +
                                    std::to_string(JsonWholeAt(*seen.stopped, "max")) +
                                    " bytes) after " +
                                    std::to_string(JsonWholeAt(*seen.stopped, "size")) +
                                    " bytes; the rest of the session is not in the file");
    }
    if (reader.CutShort()) {
        text += Line("cut", "the file ends inside an entry (the tool stopped while writing it)");
    }
    text += Line("length", CaptureSeconds(seen.lastMicros));
    return text;
}
