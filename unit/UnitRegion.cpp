#include "unit/UnitRegion.h"

#include <charconv>

#include "platform/digest/Sha256.h"
#include "unit/Crc32.h"

Result<UnitValues> UnitValuesOf(const UnitLayout& layout, std::vector<std::string> sourceValues) {
    if (sourceValues.size() != layout.sources.size()) {
        return Refusal("unit", "one value per source is needed");
    }
    // Each source's row (a list) or rendered number (a counter), found once.
    std::vector<const std::vector<std::string>*> rows(layout.sources.size(), nullptr);
    std::vector<std::string> counted(layout.sources.size());
    for (std::size_t s = 0; s < layout.sources.size(); ++s) {
        const UnitSource& source = layout.sources[s];
        const std::string& value = sourceValues[s];
        if (source.kind == UnitSource::Kind::Counter) {
            std::int64_t n = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (error != std::errc() || end != value.data() + value.size()) {
                return Refusal("unit " + source.name, "'" + value + "' is no counter's number");
            }
            counted[s] = source.pattern->Render(n);
            continue;
        }
        for (const std::vector<std::string>& row : source.rows) {
            if (row[source.keyColumn] == value) {
                rows[s] = &row;
                break;
            }
        }
        if (rows[s] == nullptr) {
            return Refusal("unit " + source.name, "'" + value + "' is no longer in " + source.file);
        }
    }
    UnitValues values;
    values.sourceValues = std::move(sourceValues);
    for (const UnitField& field : layout.fields) {
        values.fieldTexts.push_back(rows[field.source] != nullptr
                                        ? (*rows[field.source])[field.column]
                                        : counted[field.source]);
    }
    return values;
}

Result<std::string> RenderUnitRegion(const UnitLayout& layout, const std::string& base,
                                     const UnitValues& values) {
    std::string region = base;
    region.resize(static_cast<std::size_t>(layout.length), '\0');
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const UnitField& field = layout.fields[i];
        Result<std::string> bytes = EncodeUnitValue(field.format, values.fieldTexts[i],
                                                    static_cast<std::size_t>(field.length));
        if (!bytes) {
            return Refusal("unit " + field.name, bytes.Failure().Describe());
        }
        region.replace(static_cast<std::size_t>(field.at), bytes->size(), *bytes);
    }
    if (layout.checksum) {
        const UnitChecksum& sum = *layout.checksum;
        const std::uint32_t crc = Crc32(
            std::string_view(region).substr(static_cast<std::size_t>(sum.from - layout.offset),
                                            static_cast<std::size_t>(sum.to - sum.from)));
        const auto at = static_cast<std::size_t>(sum.at - layout.offset);
        for (int i = 0; i < 4; ++i) {
            const int shift = sum.bigEndian ? 8 * (3 - i) : 8 * i;
            region[at + static_cast<std::size_t>(i)] = static_cast<char>((crc >> shift) & 0xFF);
        }
    }
    return region;
}

std::vector<std::pair<std::string, std::string>> UnitShown(const UnitLayout& layout,
                                                           const UnitValues& values) {
    std::vector<std::pair<std::string, std::string>> shown;
    for (std::size_t i = 0; i < layout.fields.size() && i < values.fieldTexts.size(); ++i) {
        const std::string& text = values.fieldTexts[i];
        shown.emplace_back(layout.fields[i].name,
                           layout.fields[i].secret
                               ? "sha256:" + Sha256Hex(Sha256OfBytes(text.data(), text.size()))
                               : text);
    }
    return shown;
}
