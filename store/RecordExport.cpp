#include "store/RecordExport.h"

#include <unordered_map>

namespace {

void Flatten(const Json& value, const std::string& name,
             std::vector<std::pair<std::string, std::string>>& out) {
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            Flatten(it.value(), name.empty() ? it.key() : name + "." + it.key(), out);
        }
        return;
    }
    if (value.is_null()) {
        out.emplace_back(name, std::string());
    } else if (value.is_string()) {
        out.emplace_back(name, value.get<std::string>());
    } else {
        out.emplace_back(name, JsonLine(value));
    }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> FlatFields(const Json& record) {
    std::vector<std::pair<std::string, std::string>> fields;
    Flatten(record, "", fields);
    return fields;
}

std::string CsvField(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

void CsvColumns::Learn(const std::string& line) {
    const std::optional<Json> json = ParseJsonObject(line);
    if (!json) {
        return;
    }
    for (auto& [name, text] : FlatFields(*json)) {
        if (m_known.insert(name).second) {
            m_names.push_back(name);
        }
    }
}

std::string CsvColumns::Header() const {
    std::string out;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        out += (i > 0 ? "," : "") + CsvField(m_names[i]);
    }
    return out + "\r\n";
}

std::string CsvColumns::Row(const std::string& line) const {
    std::unordered_map<std::string, std::string> fields;
    if (const std::optional<Json> json = ParseJsonObject(line)) {
        for (auto& [name, text] : FlatFields(*json)) {
            fields.emplace(std::move(name), std::move(text));
        }
    }
    std::string out;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        const auto it = fields.find(m_names[i]);
        out += (i > 0 ? "," : "") + (it != fields.end() ? CsvField(it->second) : std::string());
    }
    return out + "\r\n";
}
