#pragma once

// How far a box has come, worked out once from the answered requests and shown by every host:
// the progress line, the station's table, --json, the broker and the window.
//
// `done` is the bar's count (the end of the last requested block, as "( %d / %d ) Bytes"
// shows it); the percentage is that count over the image, as the bar shows it, never above 100;
// the rate counts what has crossed the line (TransferRate.h); the time left follows from both.
//
// Threading rules: none; one owner.

#include <cstdint>
#include <optional>

#include "download/SessionEvents.h"
#include "download/TransferRate.h"

struct ProgressFigures {
    std::int64_t done = 0;
    std::int64_t size = 0;
    int percent = 0;
    double rate = 0;  // bytes per second; 0 until known
    std::optional<double> etaSeconds;

    bool operator==(const ProgressFigures&) const = default;
};

class ProgressMeter {
  public:
    // START: a new image, nothing asked for yet.
    void Restart(std::int64_t imageSize);
    void OnRequest(const RequestAnswered& request, TransferRate::Clock::time_point when);
    // EXIT_APP: the bar shows the image whole.
    void Complete();
    const ProgressFigures& Figures() const { return m_figures; }

  private:
    TransferRate m_rate;
    ProgressFigures m_figures;
};
