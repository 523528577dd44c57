#pragma once

// A counter's values as text: a pattern with one placeholder for the number, in the style of
// Python's and C++'s format strings: "SN{:08d}" gives SN00001000 for 1000. The placeholder is
// {} or {:d} (decimal), {:x} or {:X} (hex), each with an optional width and a leading 0 to pad
// with zeros ({:08d}, {:6x}); {{ and }} stand for the braces themselves.

#include <cstdint>
#include <string>

#include "platform/base/Result.h"

class CounterPattern {
  public:
    // Refused, with why, unless the text has exactly one placeholder of the forms above.
    static Result<CounterPattern> Parse(const std::string& text);

    std::string Render(std::int64_t n) const;
    const std::string& Text() const { return m_text; }
    bool operator==(const CounterPattern&) const = default;

  private:
    CounterPattern() = default;

    std::string m_text;
    std::string m_before;
    std::string m_after;
    int m_width = 0;
    bool m_zeros = false;
    char m_kind = 'd';  // 'd', 'x' or 'X'
};
