#pragma once

// --bell: the terminal's bell when the line calls for someone (station/Alarm.h), one BEL on
// standard error where that is a terminal; a log file or a pipe gets none.
//
// Threading rules: one thread (the one its events come on).

#include <unistd.h>

#include "download/BoxSession.h"
#include "platform/host/ConsoleOutput.h"
#include "station/Alarm.h"

class TerminalBell final : public BoxSession::Sink {
  public:
    explicit TerminalBell(bool on) : m_on(on && isatty(STDERR_FILENO) == 1) {}

    void Ring() {
        if (m_on) {
            WriteStderr("\a");
        }
    }
    // A single run's box.
    void OnSessionEnded(const SessionEnd& end) override {
        if (end.record && AlarmFor(*end.record)) {
            Ring();
        }
    }

  private:
    bool m_on;
};
