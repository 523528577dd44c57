#include "slot/UnitLayoutJson.h"

namespace {

// A job's region is 64 KiB at most, and lies below 4 GiB.
constexpr std::int64_t kMostLength = 65536;
constexpr std::int64_t kReach = std::int64_t{1} << 32;

bool Whole(const Json& json, const char* key, std::int64_t least, std::int64_t most,
           std::int64_t& out) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_number_integer()) {
        return false;
    }
    out = it->get<std::int64_t>();
    return out >= least && out <= most;
}

std::optional<UnitField> FieldFromJson(const Json& json, std::int64_t regionLength) {
    UnitField f;
    f.name = JsonStringAt(json, "name");
    const std::optional<UnitFormat> format = UnitFormatNamed(JsonStringAt(json, "format"));
    if (f.name.empty() || !format || !Whole(json, "at", 0, regionLength - 1, f.at) ||
        !Whole(json, "length", 1, regionLength - f.at, f.length)) {
        return std::nullopt;
    }
    f.format = *format;
    const std::optional<std::size_t> needs = UnitFormatLength(f.format);
    if (needs && static_cast<std::size_t>(f.length) < *needs) {
        return std::nullopt;
    }
    f.secret = JsonBoolAt(json, "secret");
    return f;
}

}  // namespace

Json UnitLayoutJson(const UnitLayout& layout) {
    Json fields = Json::array();
    for (const UnitField& f : layout.fields) {
        fields.push_back(Json{{"name", JsonText(f.name)},
                              {"at", f.at},
                              {"length", f.length},
                              {"format", UnitFormatName(f.format)},
                              {"secret", f.secret}});
    }
    Json checksum = nullptr;
    if (layout.checksum) {
        const UnitChecksum& c = *layout.checksum;
        checksum = Json{{"from", c.from},
                        {"to", c.to},
                        {"at", c.at},
                        {"order", c.bigEndian ? "big" : "little"}};
    }
    return Json{{"offset", layout.offset},
                {"length", layout.length},
                {"fields", std::move(fields)},
                {"checksum", std::move(checksum)}};
}

std::optional<UnitLayout> UnitLayoutFromJson(const Json& json) {
    UnitLayout layout;
    if (!json.is_object() || !Whole(json, "offset", 0, kReach - 1, layout.offset) ||
        !Whole(json, "length", 1, kMostLength, layout.length) ||
        layout.offset + layout.length > kReach) {
        return std::nullopt;
    }
    const auto fields = json.find("fields");
    if (fields == json.end() || !fields->is_array() ||
        fields->size() > static_cast<std::size_t>(layout.length)) {
        return std::nullopt;
    }
    for (const Json& field : *fields) {
        std::optional<UnitField> f =
            field.is_object() ? FieldFromJson(field, layout.length) : std::nullopt;
        if (!f) {
            return std::nullopt;
        }
        layout.fields.push_back(std::move(*f));
    }
    const auto checksum = json.find("checksum");
    if (checksum != json.end() && !checksum->is_null()) {
        UnitChecksum c;
        const std::int64_t end = layout.offset + layout.length;
        const std::string order = JsonStringAt(*checksum, "order");
        if (!checksum->is_object() || !Whole(*checksum, "from", layout.offset, end, c.from) ||
            !Whole(*checksum, "to", c.from, end, c.to) ||
            !Whole(*checksum, "at", layout.offset, end - 4, c.at) ||
            (order != "little" && order != "big")) {
            return std::nullopt;
        }
        c.bigEndian = order == "big";
        layout.checksum = c;
    }
    return layout;
}
