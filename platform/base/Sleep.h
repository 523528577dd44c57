#pragma once

// The one sleep the system's code uses. Sleep(0) gives up the rest of the time slice without
// adding a delay; any other value sleeps at least that many milliseconds.

#include <chrono>
#include <thread>

#include "platform/base/Win32Types.h"

inline void Sleep(DWORD ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
