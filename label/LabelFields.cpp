#include "label/LabelFields.h"

#include <array>
#include <ctime>

#include "label/LabelPrinter.h"

namespace {

constexpr std::array<const char*, 5> kBoxFields = {"box_id", "job", "station", "slot", "time"};

// The verdict's time to the second, in UTC as every record's times are.
std::string LabelTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

Result<void> CheckLabelFields(const LabelTemplate& label, const std::string& name,
                              const UnitLayout* unit) {
    for (const LabelTemplate::Field& field : label.Fields()) {
        bool known = false;
        for (const char* box : kBoxFields) {
            known = known || field.name == box;
        }
        if (unit != nullptr && !known) {
            for (const UnitField& f : unit->fields) {
                if (f.name != field.name) {
                    continue;
                }
                if (f.secret) {
                    return Refusal(name + ":" + std::to_string(field.line),
                                   "{" + field.name +
                                       "} is a secret unit field; a label never "
                                       "prints one");
                }
                known = true;
            }
        }
        if (!known) {
            std::string words = "box_id, job, station, slot, time";
            if (unit != nullptr) {
                for (const UnitField& f : unit->fields) {
                    words += f.secret ? std::string() : ", " + f.name;
                }
            }
            return Refusal(name + ":" + std::to_string(field.line),
                           "unknown field {" + field.name + "}; a label knows " + words);
        }
    }
    return {};
}

std::map<std::string, std::string> LabelValues(const BoxRecord& record, const std::string& slot) {
    std::map<std::string, std::string> values;
    if (record.unit) {
        for (const auto& [field, value] : *record.unit) {
            values[field] = value;
        }
    }
    // The box's own words win over a unit field of the same name.
    values["box_id"] = record.boxId.value_or("");
    values["job"] = record.made.job.value_or("");
    values["station"] = record.made.station.value_or("");
    values["slot"] = slot;
    values["time"] = LabelTime(record.end);
    return values;
}

Result<void> PrintLabel(const std::string& zpl, const std::string& printer, const BoxRecord& record,
                        const std::string& slot) {
    const Result<LabelTemplate> label = LabelTemplate::Parse(zpl, "label");
    if (!label) {
        return label.Failure();
    }
    const Result<LabelPrinter> to = ParseLabelPrinter(printer, "/");
    if (!to) {
        return to.Failure();
    }
    return SendLabel(*to, label->Render(LabelValues(record, slot)), record.id);
}
