#pragma once

// A slot's run on the command line's console: the dialog hosted without a window (ConsoleHost),
// its log on standard output (ConsoleLog), the progress line and the slot's lines on standard
// error (ProgressLine, ConsoleScreen). A station's slot runs the same, with its standard output
// discarded and its standard error in a file of the slot's own.
//
// Threading rules: UI thread only.

#include <memory>

#include "hosts/cli/ConsoleHost.h"
#include "hosts/cli/ConsoleLog.h"
#include "hosts/cli/ConsoleScreen.h"
#include "hosts/cli/ProgressLine.h"
#include "slot/SlotScreen.h"

class ConsoleSlotScreen final : public SlotScreen {
  public:
    // `quiet`: no progress line.
    explicit ConsoleSlotScreen(bool quiet) : m_quiet(quiet) {}

    void Open(std::function<void(CDialog&)> created,
              std::function<std::uint64_t()> droppedBytes) override;
    void FollowLog(CWnd& log) override;
    void Say(const std::string& line) override { m_screen.Error(line); }
    void ProgressStarted() override;
    void Progress(const ProgressFigures& figures) override;
    void ProgressEnded() override;
    void Close() override;

  private:
    bool m_quiet;
    ConsoleScreen m_screen;
    std::unique_ptr<ConsoleHost> m_host;
    std::unique_ptr<ConsoleLog> m_log;
    std::unique_ptr<ProgressLine> m_progress;
};
