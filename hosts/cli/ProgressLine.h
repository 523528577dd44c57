#pragma once

// Shows the download's progress on standard error: the bar's byte count, the percentage and the
// rate. On a terminal one line is redrawn in place; elsewhere a line is written at every tenth
// of the image, so a log file stays short.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "platform/window/WindowObserver.h"

class ProgressLine final : public WindowObserver {
  public:
    struct Sample {
        std::int64_t offset = 0;
        std::int64_t size = 0;
    };

    ProgressLine(std::FILE* out, bool inPlace, std::function<Sample()> read);

    // A new download begins: the rate counts from now.
    void Restart();
    // Ends a line drawn in place, so that what follows starts on a fresh line.
    void Finish();

    void OnTextChanged(CWnd&) override;

  private:
    std::FILE* m_out;
    bool m_inPlace;
    std::function<Sample()> m_read;
    std::chrono::steady_clock::time_point m_start;
    int m_lastTenth = -1;
    bool m_lineOpen = false;
};
