#pragma once

// A slot's process tells its station what happens, as JSON Lines on a pipe the station gave it:
//   {"event":"armed"}                          START pressed, waiting for the box
//   {"event":"progress","bytes":N,"size":M,"rate":R}   at most twice a second while loading
//   {"event":"record","end":"port-lost","record":{...}}  the box's record, exactly as judged
// The lines go through the process's writer thread like any other output, so a station that
// reads late never holds the box.
//
// Threading rules: UI thread only (the progress bar's observer and the session's callbacks).

#include <chrono>
#include <string>

#include "download/BoxVerdict.h"
#include "download/TransferRate.h"
#include "platform/window/WindowObserver.h"

class ChildEvents final : public WindowObserver {
  public:
    explicit ChildEvents(int fd) : m_fd(fd) {}

    // A new box is awaited.
    void OnArmed();
    // The box is judged; `recordLine` is its record as the report keeps it.
    void OnRecord(BoxEnd end, const std::string& recordLine);
    // The progress bar's text changed.
    void OnTextChanged(CWnd& bar) override;

    // The name of an end as the station reads it ("passed", "port-lost", ...).
    static const char* EndName(BoxEnd end);

  private:
    void Send(const std::string& line);

    int m_fd;
    TransferRate m_rate;
    std::chrono::steady_clock::time_point m_lastSent{};
};
