#include "tests/support/box/ScriptedBox.h"

#include <thread>

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
