#pragma once

// `--box-id REGEX`: the box's own identity (its serial number, its MAC) from the console text
// it prints, for its record. The expression has one capture group; the first line that matches
// gives the id. Lines are cut at 1 KiB for matching, and RE2 matches in time linear in the
// line, so a box that prints a megabyte without a line break costs 1 KiB and one match.
//
// Threading rules: a pattern may be shared by any threads; a scanner is one session's.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Result.h"

namespace re2 {
class RE2;
}

class BoxIdPattern {
  public:
    // Fails with why: not a valid expression, or not exactly one capture group.
    static Result<std::shared_ptr<const BoxIdPattern>> Compile(const std::string& expression);
    ~BoxIdPattern();

    // The capture of the first match in `line`; nothing when it does not match.
    std::optional<std::string> Match(std::string_view line) const;

  private:
    explicit BoxIdPattern(std::unique_ptr<re2::RE2> re);

    std::unique_ptr<re2::RE2> m_re;
};

class BoxIdScanner {
  public:
    static constexpr std::size_t kLineCut = 1024;

    explicit BoxIdScanner(std::shared_ptr<const BoxIdPattern> pattern)
        : m_pattern(std::move(pattern)) {}

    // A new box: nothing seen yet.
    void Reset();
    // Console bytes as they come; the id the first time a line matches, nothing otherwise.
    std::optional<std::string> Feed(std::string_view bytes);

  private:
    std::optional<std::string> EndLine();

    std::shared_ptr<const BoxIdPattern> m_pattern;
    std::string m_line;
    bool m_cut = false;    // the line reached kLineCut and was matched already
    bool m_found = false;  // this box has its id
};
