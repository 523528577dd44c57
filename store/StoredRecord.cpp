#include "store/StoredRecord.h"

#include <chrono>
#include <cmath>

#include "platform/codepage/Utf8.h"
#include "record/BoxRecordCodec.h"
#include "record/Json.h"

namespace {

constexpr std::size_t kIdBytes = 128;
constexpr std::size_t kNameBytes = 200;

std::string Cut(const std::string& text) {
    if (text.size() <= kNameBytes) {
        return text;
    }
    std::size_t end = 0;
    while (end < kNameBytes) {
        const std::ptrdiff_t length = Utf8SequenceLength(text, end);
        const std::size_t step = length > 0 ? static_cast<std::size_t>(length) : 1;
        if (end + step > kNameBytes) {
            break;
        }
        end += step;
    }
    return text.substr(0, end);
}

std::optional<std::string> TextAt(const Json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_string()) {
        return std::nullopt;
    }
    return Cut(it->get<std::string>());
}

std::optional<std::int64_t> MillisAt(const Json& json, const char* key) {
    const std::optional<std::chrono::system_clock::time_point> at =
        FromIsoUtcMillis(JsonStringAt(json, key));
    if (!at) {
        return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(at->time_since_epoch()).count();
}

}  // namespace

std::optional<StoredRecord> StoredRecordOf(const std::string& text, const std::string& station,
                                           const std::string& slot) {
    std::string line = text;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    const std::optional<Json> json = ParseJsonObject(line);
    if (!json) {
        return std::nullopt;
    }
    StoredRecord r;
    r.id = JsonStringAt(*json, "id");
    const std::optional<BoxResult> result = BoxResultFromWord(JsonStringAt(*json, "result"));
    if (r.id.empty() || r.id.size() > kIdBytes || !result) {
        return std::nullopt;
    }
    r.result = BoxResultWord(*result);
    const double seconds = JsonNumberAt(*json, "seconds");
    r.seconds = std::isfinite(seconds) && seconds > 0 ? std::min(seconds, 1e7) : 0;
    const std::optional<std::int64_t> start = MillisAt(*json, "start");
    const std::optional<std::int64_t> end = MillisAt(*json, "end");
    if (!start && !end) {
        return std::nullopt;
    }
    const auto span = static_cast<std::int64_t>(std::llround(r.seconds * 1000));
    r.startMs = start.value_or(end.value_or(0) - span);
    r.endMs = end.value_or(r.startMs + span);
    if (r.startMs < 0) {
        return std::nullopt;  // before 1970: no box's
    }
    r.boxId = TextAt(*json, "box_id");
    // A board counts a record under the topic it came on, as it shows the slot's tile there.
    r.station = !station.empty() ? Cut(station) : TextAt(*json, "station").value_or("");
    r.slot = !slot.empty() ? Cut(slot) : TextAt(*json, "slot").value_or("");
    r.job = TextAt(*json, "job");
    r.imageSha256 = TextAt(*json, "image_sha256");
    r.reasonCode = TextAt(*json, "reason_code");
    r.operatorName = TextAt(*json, "operator");
    const auto attempt = json->find("attempt");
    if (attempt != json->end() && attempt->is_number_integer() &&
        attempt->get<std::int64_t>() > 0) {
        r.attempt = attempt->get<std::int64_t>();
    }
    const auto final = json->find("final");
    r.final = final == json->end() || !final->is_boolean() || final->get<bool>();
    r.json = std::move(line);
    return r;
}
