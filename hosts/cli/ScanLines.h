#pragma once

// A station's scans from standard input, one a line ("A3 SN4711", or "SN4711" for the next slot
// that waits), for a job that requires each box's scan. Read only where standard input is a
// terminal or a pipe: a service's /dev/null, or a file, brings no scans (its station takes them
// through the control socket instead). A line longer than any scan is cut, and the station
// refuses it as too long.
//
// Threading rules: Start and the destructor on the owner's thread; the lines are read on a thread
// of their own, which hands each to Station::AskScan (any thread's).

#include <thread>

#include "platform/base/UniqueFd.h"

class Station;

class ScanLines {
  public:
    ScanLines() = default;
    // Stops reading: what is not read yet stays unread.
    ~ScanLines();
    ScanLines(const ScanLines&) = delete;
    ScanLines& operator=(const ScanLines&) = delete;

    // Whether standard input can bring scans at all.
    static bool Readable();
    void Start(Station& station);

  private:
    void Read(Station& station);

    UniqueFd m_quit;
    std::thread m_thread;
};
