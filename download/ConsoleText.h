#pragma once

// Whether what a box prints before it asks for anything is text. A box at the wrong line speed,
// or a tool on the wrong port, hears bytes that are mostly not text; a box that is simply not
// in download mode prints its console. Text is printable characters, CR, LF, TAB and BS, and
// whole characters of the code set in force (UTF-8, or code page 949).

#include <cstdint>
#include <string>
#include <string_view>

class ConsoleTextTally {
  public:
    // Counts `bytes`, which continue what came before (a character may be split between reads).
    void Add(std::string_view bytes);
    void Clear() { *this = ConsoleTextTally(); }

    std::int64_t Text() const { return m_text; }
    std::int64_t Other() const { return m_other; }
    bool MostlyNotText() const { return m_other > m_text; }

  private:
    std::int64_t m_text = 0;
    std::int64_t m_other = 0;
    std::string m_pending;  // the start of a character the next read finishes
};
