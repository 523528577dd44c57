#include "mqtt/StationInfo.h"

#include "platform/codepage/Utf8.h"
#include "record/Json.h"

namespace {

constexpr std::size_t kMostSlots = 256;
constexpr std::size_t kFieldBytes = 200;
constexpr std::size_t kTextBytes = 300;

}  // namespace

std::string StationInfoJson(const StationInfo& info) {
    Json slots = Json::array();
    for (const StationSlot& slot : info.slots) {
        slots.push_back(Json{{"label", JsonText(slot.label)}, {"port", JsonText(slot.port)}});
    }
    return JsonLine(Json{{"station", JsonText(info.station)},
                         {"version", JsonText(info.version)},
                         {"started", JsonText(info.started)},
                         {"slots", std::move(slots)},
                         {"job", JsonTextOrNull(info.job)},
                         {"operator", JsonTextOrNull(info.operatorName)},
                         {"image", JsonTextOrNull(info.image)},
                         {"image_sha256", JsonTextOrNull(info.imageSha256)}});
}

std::optional<StationInfo> ParseStationInfo(const std::string& payload) {
    const std::optional<Json> json = ParseJsonObject(payload);
    if (!json) {
        return std::nullopt;
    }
    const auto slots = json->find("slots");
    if (slots == json->end() || !slots->is_array()) {
        return std::nullopt;
    }
    StationInfo info;
    info.station = CutText(JsonStringAt(*json, "station"), kFieldBytes);
    info.version = CutText(JsonStringAt(*json, "version"), kFieldBytes);
    info.started = CutText(JsonStringAt(*json, "started"), kFieldBytes);
    const auto text = [&json](const char* key) -> std::optional<std::string> {
        const std::string value = CutText(JsonStringAt(*json, key), kTextBytes);
        return value.empty() ? std::nullopt : std::optional(value);
    };
    info.job = text("job");
    info.operatorName = text("operator");
    info.image = text("image");
    info.imageSha256 = text("image_sha256");
    for (const Json& slot : *slots) {
        if (info.slots.size() == kMostSlots) {
            break;
        }
        if (slot.is_object()) {
            info.slots.push_back({CutText(JsonStringAt(slot, "label"), kFieldBytes),
                                  CutText(JsonStringAt(slot, "port"), kTextBytes)});
        }
    }
    return info;
}

bool ListsSlot(const StationInfo& info, const std::string& label) {
    const auto written = [](const std::string& text) { return JsonText(text).get<std::string>(); };
    for (const StationSlot& slot : info.slots) {
        if (written(slot.label) == written(label)) {
            return true;
        }
    }
    return false;
}
