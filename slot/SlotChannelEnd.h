#pragma once

// A slot's process tells its station what happens to its box, as JSON Lines on a pipe the station
// gave it: the download's own events, so that the station keeps the box's session as the slot
// does, and the slot's states.
//   {"event":"started","image":"...","size":N,"sha256":"...","port":"COM5","device":"..."}
//   {"event":"first-frame"}
//   {"event":"request","offset":N,"length":N,"position":N,"size":N,"bytes":N,
//    "distinct_sent":N,"distinct_asked":N,"requests":N}   the first, then at most twice a second
//   {"event":"time"}
//   {"event":"state","state":"port-absent","why":{...}}
//   {"event":"ended","reason":"port-lost","failure":{...},"silence":S,"record":{...}|null}
//   {"event":"beat"}   once a second from the UI thread, so the station knows it is alive
//   {"event":"say","text":"..."}   a line for the operator (a box's log that was lost)
// The record comes last and exactly as judged, to be written as it stands. The lines go through
// the process's writer thread like any other output, so a station that reads late never holds
// the box.
//
// Threading rules: UI thread only.

#include <chrono>
#include <string>

#include "download/BoxSession.h"

class ChildEvents final : public DownloadObserver, public BoxSession::Sink {
  public:
    explicit ChildEvents(int fd) : m_fd(fd) {}

    void OnStarted(const DownloadStarted& started) override;
    void OnFirstFrame() override;
    void OnRequestAnswered(const RequestAnswered& request) override;
    void OnTimeAsked() override;

    void OnSlotState(SlotState state, const SysFailure& why) override;
    void OnSessionEnded(const SessionEnd& end) override;
    // The UI thread is alive (the slot's session calls it once a second).
    void Beat();
    // A line for the operator, which the station shows under the slot's name.
    void Say(const std::string& text);

  private:
    void Send(const std::string& line);

    int m_fd;
    std::chrono::steady_clock::time_point m_lastRequest{};
    bool m_requestHeld = false;
    RequestAnswered m_held;
};
