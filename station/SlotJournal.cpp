#include "station/SlotJournal.h"

#include "record/BoxRecordCodec.h"

namespace {

std::optional<std::string> TextOrNothing(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? std::optional(it->get<std::string>())
                                                 : std::nullopt;
}

}  // namespace

std::string SlotJournalLine(const SlotJournal& j) {
    const Json json{{"journal", kSlotJournalVersion},
                    {"slot", JsonText(j.slot)},
                    {"port_label", JsonText(j.portLabel)},
                    {"pid", j.pid},
                    {"log", JsonTextOrNull(j.log)},
                    {"capture", JsonTextOrNull(j.capture)},
                    {"stamps", j.stamps},
                    {"box", j.box ? BoxRecordJson(*j.box) : Json(nullptr)}};
    return JsonLine(json) + "\n";
}

std::optional<SlotJournal> ParseSlotJournal(std::string_view text) {
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    const std::optional<Json> json = ParseJsonObject(text);
    if (!json || JsonWholeAt(*json, "journal") != kSlotJournalVersion) {
        return std::nullopt;
    }
    SlotJournal j;
    j.slot = JsonStringAt(*json, "slot");
    j.portLabel = JsonStringAt(*json, "port_label");
    j.pid = static_cast<long>(JsonWholeAt(*json, "pid"));
    j.log = TextOrNothing(*json, "log");
    j.capture = TextOrNothing(*json, "capture");
    j.stamps = JsonBoolAt(*json, "stamps");
    const auto box = json->find("box");
    if (box != json->end() && !box->is_null()) {
        j.box = BoxRecordFromJson(*box);
        if (!j.box) {
            return std::nullopt;  // a box it cannot tell is no journal to act on
        }
    }
    if (j.slot.empty()) {
        return std::nullopt;
    }
    return j;
}
