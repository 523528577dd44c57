#include "mqtt/StationInfo.h"

#include "record/Json.h"

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
    info.station = JsonStringAt(*json, "station");
    info.version = JsonStringAt(*json, "version");
    info.started = JsonStringAt(*json, "started");
    const auto text = [&json](const char* key) -> std::optional<std::string> {
        const std::string value = JsonStringAt(*json, key);
        return value.empty() ? std::nullopt : std::optional(value);
    };
    info.job = text("job");
    info.operatorName = text("operator");
    info.image = text("image");
    info.imageSha256 = text("image_sha256");
    for (const Json& slot : *slots) {
        if (slot.is_object()) {
            info.slots.push_back({JsonStringAt(slot, "label"), JsonStringAt(slot, "port")});
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
