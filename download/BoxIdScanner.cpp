#include "download/BoxIdScanner.h"

#include <re2/re2.h>

Result<std::shared_ptr<const BoxIdPattern>> BoxIdPattern::Compile(const std::string& expression) {
    RE2::Options options;
    options.set_log_errors(false);
    auto re = std::make_unique<RE2>(expression, options);
    if (!re->ok()) {
        return Refusal("", "--box-id: " + re->error());
    }
    if (re->NumberOfCapturingGroups() != 1) {
        return Refusal("", "--box-id takes an expression with one capture group, the id; '" +
                               expression + "' has " +
                               std::to_string(re->NumberOfCapturingGroups()));
    }
    return std::shared_ptr<const BoxIdPattern>(new BoxIdPattern(std::move(re)));
}

BoxIdPattern::BoxIdPattern(std::unique_ptr<RE2> re) : m_re(std::move(re)) {}

BoxIdPattern::~BoxIdPattern() = default;

std::optional<std::string> BoxIdPattern::Match(std::string_view line) const {
    std::string id;
    if (!RE2::PartialMatch(line, *m_re, &id) || id.empty()) {
        return std::nullopt;
    }
    return id;
}

void BoxIdScanner::Reset() {
    m_line.clear();
    m_cut = false;
    m_found = false;
}

std::optional<std::string> BoxIdScanner::EndLine() {
    std::optional<std::string> id;
    if (!m_cut && !m_line.empty()) {
        id = m_pattern->Match(m_line);
    }
    m_line.clear();
    m_cut = false;
    return id;
}

std::optional<std::string> BoxIdScanner::Feed(std::string_view bytes) {
    if (m_found) {
        return std::nullopt;
    }
    for (const char c : bytes) {
        std::optional<std::string> id;
        if (c == '\n' || c == '\r') {
            id = EndLine();
        } else if (!m_cut) {
            m_line += c;
            if (m_line.size() == kLineCut) {
                id = m_pattern->Match(m_line);  // the cut line is matched once, as it is
                m_line.clear();
                m_cut = true;
            }
        }
        if (id) {
            m_found = true;
            return id;
        }
    }
    return std::nullopt;
}
