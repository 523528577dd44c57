#pragma once

// Shows the download's progress on standard error: the bar's byte count, the percentage and the
// rate, from the session's figures. On a terminal one line is redrawn in place (ConsoleScreen
// keeps it apart from the log); elsewhere a line is written at every tenth of the image, so a log
// file stays short.

#include "download/ProgressFigures.h"

class ConsoleScreen;

class ProgressLine {
  public:
    explicit ProgressLine(ConsoleScreen& screen);

    // A new download begins.
    void Restart();
    // Ends a line drawn in place, so that what follows starts on a fresh line.
    void Finish();
    void Show(const ProgressFigures& figures);

  private:
    ConsoleScreen& m_screen;
    bool m_inPlace;
    int m_lastTenth = -1;
};
