#include "slot/SlotConfig.h"

#include "slot/UnitLayoutJson.h"

#include <cstdint>

namespace {

// Reads members one by one and remembers whether any had the wrong kind.
class Reader {
  public:
    explicit Reader(const Json& json) : m_json(json) {}

    bool Fine() const { return m_fine; }

    std::string Text(const char* key) {
        const Json* value = At(key);
        if (value != nullptr && !value->is_string()) {
            m_fine = false;
        }
        return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
    }
    std::optional<std::string> TextOrNull(const char* key) {
        const Json* value = At(key);
        if (value == nullptr || value->is_null()) {
            return std::nullopt;
        }
        return Text(key);
    }
    std::int64_t Whole(const char* key, std::int64_t low, std::int64_t high, std::int64_t missing) {
        const Json* value = At(key);
        if (value == nullptr) {
            return missing;
        }
        if (!value->is_number_integer() || value->get<std::int64_t>() < low ||
            value->get<std::int64_t>() > high) {
            m_fine = false;
            return missing;
        }
        return value->get<std::int64_t>();
    }
    bool Flag(const char* key) {
        const Json* value = At(key);
        if (value != nullptr && !value->is_boolean()) {
            m_fine = false;
        }
        return value != nullptr && value->is_boolean() && value->get<bool>();
    }

  private:
    const Json* At(const char* key) const {
        const auto it = m_json.find(key);
        return it == m_json.end() ? nullptr : &*it;
    }

    const Json& m_json;
    bool m_fine = true;
};

// A label template goes down as hex: ZPL may carry bytes that are not UTF-8 (a Latin-1 text,
// binary graphics), which a JSON string would not keep.
Json HexOrNull(const std::optional<std::string>& bytes) {
    if (!bytes) {
        return nullptr;
    }
    static const char* const kDigits = "0123456789abcdef";
    std::string hex;
    for (const char c : *bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

// Nothing for text that is not whole hex.
std::optional<std::string> FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

}  // namespace

Json SlotConfigJson(const SlotConfig& c) {
    const RecordProvenance& m = c.made;
    return Json{{"label", JsonText(c.label)},
                {"port", JsonText(c.port)},
                {"number", c.number},
                {"image", JsonText(c.image)},
                {"ini", JsonTextOrNull(c.ini)},
                {"debug", c.debug},
                {"loop", c.loop},
                {"count", c.count},
                {"timeout", c.timeoutSeconds},
                {"report", JsonTextOrNull(c.report)},
                {"log_file", JsonTextOrNull(c.logFile)},
                {"log_dir", JsonTextOrNull(c.logDir)},
                {"timestamps", c.timestamps},
                {"box_id", JsonTextOrNull(c.boxId)},
                {"sha256", JsonTextOrNull(c.sha256)},
                {"capture", JsonTextOrNull(c.captureDir)},
                {"capture_max", c.captureMax},
                {"baud", c.baud},
                {"require_whole", c.requireWhole},
                {"scan_required", c.scanRequired},
                {"unit", c.unit ? UnitLayoutJson(*c.unit) : Json(nullptr)},
                {"power_line", JsonText(c.powerLine)},
                {"power_on_asserted", c.powerOnAsserted},
                {"label_zpl_hex", HexOrNull(c.labelZpl)},
                {"printer", JsonTextOrNull(c.printer)},
                {"made",
                 {{"tool_version", JsonText(m.toolVersion)},
                  {"host", JsonText(m.host)},
                  {"station", JsonTextOrNull(m.station)},
                  {"operator", JsonTextOrNull(m.operatorName)},
                  {"job", JsonTextOrNull(m.job)}}}};
}

std::optional<SlotConfig> SlotConfigFromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    Reader in(json);
    SlotConfig c;
    c.label = in.Text("label");
    c.port = in.Text("port");
    c.number = static_cast<int>(in.Whole("number", 0, 1 << 20, 0));
    c.image = in.Text("image");
    c.ini = in.TextOrNull("ini");
    c.debug = in.Flag("debug");
    c.loop = in.Flag("loop");
    c.count = static_cast<int>(in.Whole("count", 0, 1 << 30, 0));
    c.timeoutSeconds =
        static_cast<int>(in.Whole("timeout", 0, 1 << 30, SlotConfig{}.timeoutSeconds));
    c.report = in.TextOrNull("report");
    c.logFile = in.TextOrNull("log_file");
    c.logDir = in.TextOrNull("log_dir");
    c.timestamps = in.Flag("timestamps");
    c.boxId = in.TextOrNull("box_id");
    c.sha256 = in.TextOrNull("sha256");
    c.captureDir = in.TextOrNull("capture");
    c.captureMax = in.Whole("capture_max", 0, INT64_MAX, kCaptureMaxDefault);
    c.baud = static_cast<std::uint32_t>(in.Whole("baud", 1, UINT32_MAX, SlotConfig{}.baud));
    c.requireWhole = in.Flag("require_whole");
    c.scanRequired = in.Flag("scan_required");
    if (const auto unit = json.find("unit"); unit != json.end() && !unit->is_null()) {
        c.unit = UnitLayoutFromJson(*unit);
        if (!c.unit) {
            return std::nullopt;
        }
    }
    // A station of before power control sends neither: no line, on while asserted.
    if (json.contains("power_line")) {
        c.powerLine = in.Text("power_line");
        c.powerOnAsserted = in.Flag("power_on_asserted");
    }
    if (!c.powerLine.empty() && c.powerLine != "dtr" && c.powerLine != "rts") {
        return std::nullopt;
    }
    if (const std::optional<std::string> hex = in.TextOrNull("label_zpl_hex")) {
        c.labelZpl = FromHex(*hex);
        if (!c.labelZpl) {
            return std::nullopt;
        }
    }
    c.printer = in.TextOrNull("printer");
    const auto made = json.find("made");
    if (made != json.end() && made->is_object()) {
        Reader m(*made);
        c.made.toolVersion = m.Text("tool_version");
        c.made.host = m.Text("host");
        c.made.station = m.TextOrNull("station");
        c.made.operatorName = m.TextOrNull("operator");
        c.made.job = m.TextOrNull("job");
        if (!m.Fine()) {
            return std::nullopt;
        }
    }
    if (!in.Fine() || c.port.empty() || c.image.empty()) {
        return std::nullopt;
    }
    if (c.label.empty()) {
        c.label = c.port;
    }
    return c;
}
