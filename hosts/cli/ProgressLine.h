#pragma once

// Shows the download's progress on standard error: the bar's byte count, the percentage and the
// rate. On a terminal one line is redrawn in place (ConsoleScreen keeps it apart from the log);
// elsewhere a line is written at every tenth of the image, so a log file stays short. The figures
// are read from the bar's own text, so the line shows what the bar shows, also the full count that
// EXIT_APP sets.

#include <cstdint>

#include "download/TransferRate.h"
#include "platform/window/WindowObserver.h"

class ConsoleScreen;

class ProgressLine final : public WindowObserver {
  public:
    explicit ProgressLine(ConsoleScreen& screen);

    // A new download begins: the rate counts from its first request.
    void Restart();
    // Ends a line drawn in place, so that what follows starts on a fresh line.
    void Finish();

    void OnTextChanged(CWnd& bar) override;

  private:
    ConsoleScreen& m_screen;
    bool m_inPlace;
    TransferRate m_rate;
    int m_lastTenth = -1;
};
