#include "station/ScanDesk.h"

#include <algorithm>
#include <cctype>

#include "platform/codepage/ShownText.h"

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && Blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && Blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Characters, not bytes: a UTF-8 sequence counts once (a byte that starts none counts too).
std::size_t CharCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

ScanRoute Refusal(std::string why) {
    return ScanRoute{ScanRoute::Kind::Refused, 0, {}, std::move(why)};
}

}  // namespace

ScanDesk::ScanDesk(std::vector<std::string> labels, std::string slotPrefix)
    : m_labels(std::move(labels)), m_prefix(std::move(slotPrefix)) {}

std::optional<std::size_t> ScanDesk::Named(std::string_view name) const {
    const auto it = std::find(m_labels.begin(), m_labels.end(), name);
    return it == m_labels.end() ? std::nullopt : std::optional<std::size_t>(it - m_labels.begin());
}

std::optional<std::size_t> ScanDesk::FirstFrom(std::size_t from,
                                               const std::vector<bool>& waits) const {
    for (std::size_t step = 0; step < waits.size(); ++step) {
        const std::size_t i = (from + step) % waits.size();
        if (waits[i]) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> ScanDesk::Target(const std::vector<bool>& waits) const {
    return FirstFrom(m_selected.value_or(0), waits);
}

void ScanDesk::Given(std::size_t slot, std::vector<bool> waits) {
    if (slot < waits.size()) {
        waits[slot] = false;
    }
    m_selected = waits.empty() ? std::nullopt : FirstFrom((slot + 1) % waits.size(), waits);
    if (!m_selected) {
        // None waits now: the next to wait, from the slot after this one, gets the next scan.
        m_selected = waits.empty() ? 0 : (slot + 1) % waits.size();
    }
}

ScanRoute ScanDesk::Route(std::string_view scan, const std::vector<bool>& waits) {
    const std::string_view text = Trimmed(scan);
    if (text.empty()) {
        return Refusal("empty scan");
    }
    if (CharCount(text) > kMostChars) {
        return Refusal("scan longer than " + std::to_string(kMostChars) + " characters");
    }
    const auto waiting = [&waits](std::size_t slot) { return slot < waits.size() && waits[slot]; };
    if (StartsWithFolded(text, m_prefix)) {
        const std::string_view name = Trimmed(text.substr(m_prefix.size()));
        const std::optional<std::size_t> slot = Named(name);
        if (!slot) {
            return Refusal("no slot " + EscapeName(std::string(name)));
        }
        if (!waiting(*slot)) {
            return Refusal(EscapeName(m_labels[*slot]) + " does not wait for a scan");
        }
        m_selected = slot;
        return ScanRoute{ScanRoute::Kind::Select, *slot, {}, {}};
    }
    // "A3 SN4711": a slot's name, then the box's id.
    const std::size_t blank = text.find_first_of(" \t");
    if (blank != std::string_view::npos) {
        if (const std::optional<std::size_t> slot = Named(text.substr(0, blank))) {
            if (!waiting(*slot)) {
                return Refusal(EscapeName(m_labels[*slot]) + " does not wait for a scan");
            }
            return ScanRoute{
                ScanRoute::Kind::Box, *slot, std::string(Trimmed(text.substr(blank))), {}};
        }
    }
    const std::optional<std::size_t> target = Target(waits);
    if (!target) {
        return Refusal("no slot waits for a scan");
    }
    return ScanRoute{ScanRoute::Kind::Box, *target, std::string(text), {}};
}
