#pragma once

// The test itself as the box, on a pseudo-terminal: it writes chosen bytes and reads the tool's
// answers exactly, for checks that need the box's every byte known in advance.
//
// Threading rules: one thread.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/box/StbRequests.h"
#include "tests/support/pty/Pty.h"

class ScriptedBox {
  public:
    Pty& Line() { return m_pty; }
    const std::string& SlavePath() const { return m_pty.SlavePath(); }

    // Writes the bytes; false when the line would not take them.
    bool Send(const std::vector<std::uint8_t>& bytes) { return m_pty.WriteAll(bytes); }
    bool Send(const std::string& text) { return m_pty.WriteAll(text.data(), text.size()); }
    // Reads exactly `count` answer bytes (fewer when they did not come).
    std::vector<std::uint8_t> Answer(std::size_t count) { return m_pty.ReadExactly(count); }
    // Waits until the tool has taken every byte sent so far off the line and a moment more, so
    // that the next bytes arrive in a batch of their own: the tool notifies itself once per
    // drain of the line, and bytes written while a drain is under way join that batch.
    bool WaitTaken();

  private:
    Pty m_pty;
};
