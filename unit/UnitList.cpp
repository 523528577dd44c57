#include "unit/UnitList.h"

#include <fstream>
#include <unordered_map>

namespace {

SysFailure At(const std::string& path, int line, const std::string& what) {
    return Refusal(path + ":" + std::to_string(line), what);
}

// One record of the text from `pos` on, its fields unquoted; `line` counts the line ends passed.
Result<std::vector<std::string>> NextRecord(const std::string& text, std::size_t& pos, int& line,
                                            const std::string& path) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool wasQuoted = false;
    const int first = line;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (quoted) {
            if (c == '"') {
                if (pos < text.size() && text[pos] == '"') {
                    fields.back() += '"';
                    ++pos;
                } else {
                    quoted = false;
                }
            } else {
                line += c == '\n' ? 1 : 0;
                fields.back() += c;
            }
            continue;
        }
        if (c == '\n') {
            ++line;
            break;
        }
        if (c == '\r' && pos < text.size() && text[pos] == '\n') {
            continue;
        }
        if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"' && fields.back().empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (wasQuoted) {
            return At(path, first, "text after a quoted field's closing quote");
        } else {
            fields.back() += c;
        }
    }
    if (quoted) {
        return At(path, first, "a quoted field is never closed");
    }
    return fields;
}

}  // namespace

Result<UnitList> ParseUnitList(const std::string& text, const std::string& path) {
    UnitList list;
    std::size_t pos = 0;
    int line = 1;
    bool header = true;
    while (pos < text.size()) {
        const int at = line;
        Result<std::vector<std::string>> record = NextRecord(text, pos, line, path);
        if (!record) {
            return record.Failure();
        }
        if (record->size() == 1 && record->front().empty()) {
            continue;  // a blank line
        }
        if (header) {
            list.columns = std::move(*record);
            header = false;
            continue;
        }
        if (record->size() != list.columns.size()) {
            return At(path, at,
                      "has " + std::to_string(record->size()) + " field(s), the header " +
                          std::to_string(list.columns.size()));
        }
        list.rows.push_back(std::move(*record));
        list.lines.push_back(at);
    }
    if (header) {
        return Refusal(path, "the list is empty: it needs a header line naming its columns");
    }
    return list;
}

Result<UnitList> ReadUnitList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ErrnoFailure("open", path, errno);
    }
    std::string text(static_cast<std::size_t>(kMaxUnitListBytes) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        return ErrnoFailure("read", path, errno);
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (static_cast<std::int64_t>(text.size()) > kMaxUnitListBytes) {
        return Refusal(path, "a list file is at most 64 MiB");
    }
    return ParseUnitList(text, path);
}

Result<std::size_t> UnitListColumn(const UnitList& list, const std::string& path,
                                   const std::string& name) {
    std::string names;
    for (std::size_t i = 0; i < list.columns.size(); ++i) {
        if (list.columns[i] == name) {
            return i;
        }
        names += (i == 0 ? "" : ", ") + list.columns[i];
    }
    return Refusal(path, "has no column '" + name + "'; its columns: " + names);
}

Result<void> CheckUnitListUnique(const UnitList& list, const std::string& path,
                                 std::size_t column) {
    std::unordered_map<std::string, int> seen;
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        const std::string& value = list.rows[i][column];
        const auto [it, fresh] = seen.emplace(value, list.lines[i]);
        if (!fresh) {
            return At(path, list.lines[i],
                      "the " + list.columns[column] + " '" + value + "' stands here and on line " +
                          std::to_string(it->second));
        }
    }
    return {};
}
