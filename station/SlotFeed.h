#pragma once

// Follows one slot's session for whoever publishes the station's state: the slot's state as the
// session tells it, the box's figures while it loads, and the slot's tally after each verdict.
//
// Threading rules: UI thread only; `publish` is called there and must not wait.

#include <functional>

#include "download/BoxSession.h"
#include "download/SlotStatus.h"

class SlotFeed final : public BoxSession::Sink {
  public:
    explicit SlotFeed(std::function<void(const SlotStatus&)> publish);

    void OnSlotState(SlotState state, const SysFailure& why) override;
    void OnProgress(const ProgressFigures& figures) override;
    void OnSessionEnded(const SessionEnd& end) override;

  private:
    void Publish() { m_publish(m_status); }

    std::function<void(const SlotStatus&)> m_publish;
    SlotStatus m_status;
};

// Adds a session's end to a slot's status: the tally, and the verdict as the slot's last.
void CountEnd(SlotStatus& status, const SessionEnd& end);
// A slot's new state into its status (SlotStatus.h says what each field means): a box that
// begins clears the last verdict and starts with no figures; a port absent or busy keeps its
// problem until the port opens; NoRequest keeps the box's hint (`why`'s reason).
void ApplyState(SlotStatus& status, SlotState state, const SysFailure& why);
