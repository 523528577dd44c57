#include "tests/support/box/ScriptedBox.h"

#include <thread>

bool ScriptedBox::Send(const std::vector<std::uint8_t>& bytes) {
    return m_pty.WriteAll(bytes);
}

bool ScriptedBox::Send(const std::string& text) {
    return m_pty.WriteAll(text.data(), text.size());
}

std::vector<std::uint8_t> ScriptedBox::Answer(std::size_t count) {
    return m_pty.ReadExactly(count, std::chrono::seconds(10));
}

bool ScriptedBox::WaitTaken() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_pty.PendingForProgram() != 0) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The drain that took the bytes ends with one more read that finds nothing, then posts.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}
