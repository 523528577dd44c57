#pragma once

// How far a box has come, worked out once from the answered requests and shown by every host:
// the progress line, the station's table, --json, the broker and the window.
//
// `done` is the bar's count (the end of the last requested block, as "( %d / %d ) Bytes"
// shows it); the percentage is that count over the image, as the bar shows it, never above 100;
// the rate counts what has crossed the line (TransferRate.h); the time left follows from both.
//
// A box that has sent nothing for the stall bound (2 s) beyond the time its last answer needs on
// the wire is stalled: its figures say for how long, with a rate of 0 and no time left, so that a
// silent box never looks alive. Nothing arrives to say so, so the owner asks once a second
// (CheckStall). This is what the figures show, not a verdict: the box may go on, and the reason
// code `box-stalled` keeps its own meaning (a box that stopped reading our answers).
//
// Threading rules: none; one owner.

#include <chrono>
#include <cstdint>
#include <optional>

#include "download/SessionEvents.h"
#include "download/TransferRate.h"

struct ProgressFigures {
    std::int64_t done = 0;
    std::int64_t size = 0;
    int percent = 0;
    double rate = 0;  // bytes per second; 0 until known, and while stalled
    std::optional<double> etaSeconds;
    std::optional<int> stalledSeconds;  // whole seconds the box has been quiet, once stalled

    bool operator==(const ProgressFigures&) const = default;
};

class ProgressMeter {
  public:
    using Clock = TransferRate::Clock;
    static constexpr std::chrono::seconds kStallBound{2};

    // START: a new image, nothing asked for yet, on a line of `baud`.
    void Restart(std::int64_t imageSize, std::uint32_t baud = 115200);
    // The box's first frame: the quiet is counted from here.
    void OnFirstFrame(Clock::time_point when);
    void OnRequest(const RequestAnswered& request, Clock::time_point when);
    // The box spoke otherwise (console text, a time request): it is not stalled, though it is
    // given nothing (its rate stays as the stall left it until the next request). Answers
    // whether that ended a stall.
    bool OnHeard(Clock::time_point when);
    // Whether the figures changed by `now`: the box has become, or has stayed another whole
    // second, stalled.
    bool CheckStall(Clock::time_point now);
    // EXIT_APP: the bar shows the image whole.
    void Complete();
    const ProgressFigures& Figures() const { return m_figures; }

  private:
    TransferRate m_rate;
    ProgressFigures m_figures;
    std::uint32_t m_baud = 115200;
    // When the box last spoke, or when our last answer will have left the wire, whichever is
    // later; nothing before its first frame.
    std::optional<Clock::time_point> m_quietSince;
};
