#include "job/JobUnit.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "store/StoreUrl.h"
#include "unit/UnitList.h"

namespace {

using Node = toml::node;

// The keys a table may have; anything else is named with its line.
Result<void> OnlyKeys(const JobReader& in, const toml::table& table, const std::string& what,
                      std::initializer_list<const char*> known) {
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            std::string words;
            for (const char* k : known) {
                words += (words.empty() ? "" : ", ") + std::string(k);
            }
            return in.At(key.source(),
                         "unknown key '" + name + "' in " + what + "; it knows " + words);
        }
    }
    return {};
}

const toml::table* TableAt(const toml::table& table, const char* key) {
    const Node* node = table.get(key);
    return node != nullptr ? node->as_table() : nullptr;
}

struct Span {
    std::int64_t from = 0;
    std::int64_t to = 0;  // not included
    std::string what;
};

class UnitReader {
  public:
    UnitReader(const JobReader& in, Job& job) : m_in(in), m_job(job) {}

    Result<void> Read(const toml::table& table) {
        if (Result<void> ok = OnlyKeys(m_in, table, "[unit]",
                                       {"region", "store", "fields", "checksum", "warn_below"});
            !ok) {
            return ok;
        }
        UnitLayout& layout = m_layout;
        const toml::table* region = TableAt(table, "region");
        if (region == nullptr) {
            return m_in.At(table.source(), "[unit] needs region = { offset = N, length = N }");
        }
        m_job.unitLine = static_cast<int>(region->source().begin.line);
        if (Result<void> ok = OnlyKeys(m_in, *region, "region", {"offset", "length"}); !ok) {
            return ok;
        }
        if (Result<void> ok =
                Number(*region, "offset", 0, (std::int64_t{1} << 32) - 1, layout.offset, true);
            !ok) {
            return ok;
        }
        if (Result<void> ok = Number(*region, "length", 1, 65536, layout.length, true); !ok) {
            return ok;
        }
        if (layout.offset + layout.length > (std::int64_t{1} << 32)) {
            return m_in.At(region->source(), "the region reaches past 4 GiB, where no box asks");
        }
        if (Result<void> ok = Store(table); !ok) {
            return ok;
        }
        if (const Node* warn = table.get("warn_below")) {
            Result<std::int64_t> n = m_in.Whole("warn_below", *warn, 0, INT64_MAX / 2);
            if (!n) {
                return n.Failure();
            }
            layout.warnBelow = *n;
        }
        if (Result<void> ok = Checksum(table); !ok) {
            return ok;
        }
        const Node* fields = table.get("fields");
        if (fields == nullptr || !fields->is_array() || fields->as_array()->empty()) {
            return m_in.At(fields != nullptr ? fields->source() : table.source(),
                           "[unit] needs fields = [ { name = ..., at = N, length = N, format = "
                           "..., from = {...} }, ... ]");
        }
        for (const Node& field : *fields->as_array()) {
            if (Result<void> ok = Field(field); !ok) {
                return ok;
            }
        }
        m_job.unit = std::move(m_layout);
        return {};
    }

  private:
    Result<void> Number(const toml::table& table, const char* key, std::int64_t low,
                        std::int64_t high, std::int64_t& out, bool required) {
        const Node* node = table.get(key);
        if (node == nullptr) {
            return required ? m_in.At(table.source(), std::string(key) + " is missing")
                            : Result<void>();
        }
        Result<std::int64_t> n = m_in.Whole(key, *node, low, high);
        if (!n) {
            return n.Failure();
        }
        out = *n;
        return {};
    }

    Result<void> Store(const toml::table& table) {
        const Node* node = table.get("store");
        // A SQLite file beside the job unless it names another.
        std::string text = "sqlite:units.db";
        if (node != nullptr) {
            Result<std::string> given = m_in.Text("store", *node);
            if (!given) {
                return given.Failure();
            }
            text = *given;
        }
        Result<StoreUrl> url = ParseStoreUrl(text);
        if (!url) {
            return m_in.At(node != nullptr ? node->source() : table.source(), url.Failure().reason);
        }
        const StoreUrl from = url->From(m_in.Folder().string());
        m_layout.store = from.kind == StoreUrl::Kind::Sqlite ? from.shown : from.target;
        return {};
    }

    Result<void> Checksum(const toml::table& table) {
        const Node* node = table.get("checksum");
        if (node == nullptr) {
            return {};
        }
        const toml::table* sum = node->as_table();
        if (sum == nullptr) {
            return m_in.At(node->source(),
                           "checksum takes { kind = \"crc32\", over = [FROM, TO], "
                           "at = N, order = \"little\" } or { kind = \"none\" }");
        }
        if (Result<void> ok = OnlyKeys(m_in, *sum, "checksum", {"kind", "over", "at", "order"});
            !ok) {
            return ok;
        }
        const Node* kind = sum->get("kind");
        const std::optional<std::string> word = kind ? kind->value<std::string>() : std::nullopt;
        if (word == "none") {
            return {};
        }
        if (word != "crc32") {
            return m_in.At(kind ? kind->source() : sum->source(),
                           "checksum's kind is \"crc32\" or \"none\"");
        }
        UnitChecksum c;
        const toml::array* over = sum->get("over") ? sum->get("over")->as_array() : nullptr;
        if (over == nullptr || over->size() != 2 || !(*over)[0].is_integer() ||
            !(*over)[1].is_integer()) {
            return m_in.At(sum->source(),
                           "checksum's over takes [FROM, TO], image offsets, TO "
                           "not included");
        }
        c.from = *(*over)[0].value<std::int64_t>();
        c.to = *(*over)[1].value<std::int64_t>();
        if (Result<void> ok = Number(*sum, "at", 0, INT64_MAX / 2, c.at, true); !ok) {
            return ok;
        }
        if (const Node* order = sum->get("order")) {
            const std::optional<std::string> o = order->value<std::string>();
            if (o != "little" && o != "big") {
                return m_in.At(order->source(), "checksum's order is \"little\" or \"big\"");
            }
            c.bigEndian = o == "big";
        }
        const std::int64_t end = m_layout.offset + m_layout.length;
        if (c.from < m_layout.offset || c.to > end || c.from >= c.to) {
            return m_in.At(over->source(), "the checksum's range must lie in the region (" +
                                               Hex(m_layout.offset) + " to " + Hex(end) + ")");
        }
        if (c.at < m_layout.offset || c.at + 4 > end) {
            return m_in.At(sum->source(),
                           "the checksum's 4 bytes at " + Hex(c.at) + " must lie in the region");
        }
        m_layout.checksum = c;
        m_spans.push_back({c.at - m_layout.offset, c.at - m_layout.offset + 4, "the checksum"});
        return {};
    }

    static std::string Hex(std::int64_t n) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%llX", static_cast<long long>(n));
        return text;
    }

    Result<void> Field(const Node& node) {
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            return m_in.At(node.source(),
                           "a field is { name = ..., at = N, length = N, format = "
                           "..., from = {...} }");
        }
        if (Result<void> ok = OnlyKeys(m_in, *table, "a field",
                                       {"name", "at", "length", "format", "from", "secret"});
            !ok) {
            return ok;
        }
        UnitField f;
        const Node* name = table->get("name");
        Result<std::string> text =
            name ? m_in.Text("a field's name", *name)
                 : Result<std::string>(m_in.At(table->source(), "a field needs a name"));
        if (!text) {
            return text.Failure();
        }
        f.name = *text;
        for (const UnitField& other : m_layout.fields) {
            if (other.name == f.name) {
                return m_in.At(table->source(), "two fields are named '" + f.name + "'");
            }
        }
        if (Result<void> ok = Number(*table, "at", 0, m_layout.length - 1, f.at, true); !ok) {
            return ok;
        }
        if (Result<void> ok = Number(*table, "length", 1, m_layout.length, f.length, true); !ok) {
            return ok;
        }
        if (f.at + f.length > m_layout.length) {
            return m_in.At(table->source(), "the field " + f.name + " reaches past the region's " +
                                                std::to_string(m_layout.length) + " bytes");
        }
        const Node* format = table->get("format");
        const std::optional<std::string> word =
            format ? format->value<std::string>() : std::optional<std::string>("ascii");
        const std::optional<UnitFormat> known = word ? UnitFormatNamed(*word) : std::nullopt;
        if (!known) {
            return m_in.At(format->source(), "unknown format '" + word.value_or("") +
                                                 "'; a field's format is " + UnitFormatWords());
        }
        f.format = *known;
        if (const std::optional<std::size_t> needs = UnitFormatLength(f.format);
            needs && static_cast<std::size_t>(f.length) < *needs) {
            return m_in.At(table->source(), "the field " + f.name + " is " +
                                                std::to_string(f.length) + " bytes; " + *word +
                                                " takes " + std::to_string(*needs));
        }
        if (const Node* secret = table->get("secret")) {
            Result<bool> on = m_in.Flag("secret", *secret);
            if (!on) {
                return on.Failure();
            }
            f.secret = *on;
        }
        for (const Span& span : m_spans) {
            if (f.at < span.to && span.from < f.at + f.length) {
                return m_in.At(table->source(), "the field " + f.name + " overlaps " + span.what);
            }
        }
        m_spans.push_back({f.at, f.at + f.length, "the field " + f.name});
        const Node* from = table->get("from");
        if (from == nullptr || !from->is_table()) {
            return m_in.At(table->source(), "the field " + f.name +
                                                " needs from = { counter = "
                                                "\"SN{:08d}\", start = N } or { list = \"FILE\", "
                                                "column = \"NAME\" }");
        }
        return Source(*from->as_table(), f);
    }

    Result<void> Source(const toml::table& from, UnitField& f) {
        if (Result<void> ok =
                OnlyKeys(m_in, from, "from", {"counter", "start", "step", "list", "column"});
            !ok) {
            return ok;
        }
        if (from.get("counter") != nullptr) {
            return Counter(from, f);
        }
        if (from.get("list") != nullptr) {
            return List(from, f);
        }
        return m_in.At(from.source(), "from takes counter = \"PATTERN\" or list = \"FILE\"");
    }

    Result<void> Counter(const toml::table& from, UnitField& f) {
        Result<std::string> text = m_in.Text("counter", *from.get("counter"));
        if (!text) {
            return text.Failure();
        }
        Result<CounterPattern> pattern = CounterPattern::Parse(*text);
        if (!pattern) {
            return m_in.At(from.source(), pattern.Failure().reason);
        }
        UnitSource s;
        s.name = f.name;
        s.pattern = *pattern;
        if (Result<void> ok = Number(from, "start", 0, INT64_MAX / 4, s.start, false); !ok) {
            return ok;
        }
        if (Result<void> ok = Number(from, "step", 1, 1 << 30, s.step, false); !ok) {
            return ok;
        }
        if (Result<std::string> fits = EncodeUnitValue(f.format, s.pattern->Render(s.start),
                                                       static_cast<std::size_t>(f.length));
            !fits) {
            return m_in.At(from.source(), "the counter's first value " + fits.Failure().Describe());
        }
        f.source = m_layout.sources.size();
        m_layout.sources.push_back(std::move(s));
        m_layout.fields.push_back(f);
        return {};
    }

    Result<void> List(const toml::table& from, UnitField& f) {
        Result<std::string> path = m_in.Path("list", *from.get("list"));
        if (!path) {
            return path.Failure();
        }
        const Node* column = from.get("column");
        Result<std::string> name =
            column
                ? m_in.Text("column", *column)
                : Result<std::string>(m_in.At(from.source(), "a list needs its column = \"NAME\""));
        if (!name) {
            return name.Failure();
        }
        // Fields that name one file share its rows.
        std::size_t index = m_layout.sources.size();
        for (std::size_t i = 0; i < m_layout.sources.size(); ++i) {
            if (m_layout.sources[i].kind == UnitSource::Kind::List &&
                m_layout.sources[i].file == *path) {
                index = i;
            }
        }
        if (index == m_layout.sources.size()) {
            Result<UnitList> list = ReadUnitList(*path);
            if (!list) {
                return m_in.At(from.source(), list.Failure().Describe());
            }
            UnitSource s;
            s.kind = UnitSource::Kind::List;
            s.name = f.name;
            s.file = *path;
            s.columns = std::move(list->columns);
            s.rows = std::move(list->rows);
            m_lines[index] = std::move(list->lines);
            m_layout.sources.push_back(std::move(s));
        }
        UnitSource& s = m_layout.sources[index];
        UnitList view{s.columns, s.rows, m_lines[index]};
        Result<std::size_t> at = UnitListColumn(view, s.file, *name);
        if (!at) {
            return m_in.At(from.source(), at.Failure().Describe());
        }
        if (Result<void> unique = CheckUnitListUnique(view, s.file, *at); !unique) {
            return unique.Failure();
        }
        for (std::size_t r = 0; r < s.rows.size(); ++r) {
            Result<std::string> fits =
                EncodeUnitValue(f.format, s.rows[r][*at], static_cast<std::size_t>(f.length));
            if (!fits) {
                return Refusal(s.file + ":" + std::to_string(m_lines[index][r]),
                               "the " + f.name + " " + fits.Failure().Describe());
            }
        }
        if (index + 1 == m_layout.sources.size() && s.name == f.name) {
            s.keyColumn = *at;
        }
        f.source = index;
        f.column = *at;
        m_layout.fields.push_back(f);
        return {};
    }

    const JobReader& m_in;
    Job& m_job;
    UnitLayout m_layout;
    std::vector<Span> m_spans;
    std::map<std::size_t, std::vector<int>> m_lines;  // each list's rows' lines
};

}  // namespace

Result<void> ReadJobUnit(const JobReader& in, const toml::table& table, Job& job) {
    return UnitReader(in, job).Read(table);
}

Result<void> CheckUnitInImage(const JobReader& in, const Job& job) {
    struct stat st {};
    if (!job.unit || stat(job.image.c_str(), &st) != 0) {
        return {};
    }
    const std::int64_t end = job.unit->offset + job.unit->length;
    if (end > static_cast<std::int64_t>(st.st_size)) {
        return in.AtLine(job.unitLine, "the region ends at " + std::to_string(end) +
                                           ", past the image's end (" + std::to_string(st.st_size) +
                                           " bytes)");
    }
    return {};
}
