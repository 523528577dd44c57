#include "hosts/wx/FileFilter.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Cased(std::string text, int (*convert)(int)) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [convert](unsigned char c) { return static_cast<char>(convert(c)); });
    return text;
}

// "*.SDL; " -> "*.SDL;*.sdl": each pattern trimmed, empty ones dropped, case variants added.
std::string Patterns(const std::string& field) {
    std::vector<std::string> out;
    auto add = [&out](const std::string& p) {
        if (!p.empty() && std::find(out.begin(), out.end(), p) == out.end()) {
            out.push_back(p);
        }
    };
    for (const std::string& raw : Split(field, ';')) {
        const std::string pattern = Trim(raw);
        add(pattern);
        add(Cased(pattern, ::toupper));
        add(Cased(pattern, ::tolower));
    }
    std::string joined;
    for (const std::string& p : out) {
        joined += (joined.empty() ? "" : ";") + p;
    }
    return joined;
}

}  // namespace

std::string WildcardFromFilter(const std::string& filter) {
    const std::vector<std::string> fields = Split(filter, '|');
    std::string wildcard;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        const std::string text = Trim(fields[i]);
        const std::string patterns = Patterns(fields[i + 1]);
        if (text.empty() || patterns.empty()) {
            continue;
        }
        wildcard += (wildcard.empty() ? "" : "|") + text + "|" + patterns;
    }
    return wildcard.empty() ? std::string("All files (*)|*") : wildcard;
}

std::string ApplyDefaultExtension(const std::string& path, const std::string& defaultExt,
                                  bool pathExists) {
    if (pathExists || defaultExt.empty()) {
        return path;
    }
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos) {
        return path;
    }
    return path + "." + defaultExt;
}
