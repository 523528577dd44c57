#pragma once

// Follows one slot's box for whoever publishes the station's state: waiting for a box once
// START is pressed, serving with its percentage, rate and time left as the box asks for blocks
// (read from the progress bar, as the progress line reads it), passed or failed at its verdict.
//
// Threading rules: UI thread only; `publish` is called there and must not wait.

#include <functional>

#include "download/TransferRate.h"
#include "hosts/cli/mqtt/SlotStatus.h"
#include "platform/window/WindowObserver.h"

class SlotFeed final : public WindowObserver {
  public:
    explicit SlotFeed(std::function<void(const SlotStatus&)> publish);

    // START was pressed: the slot waits for its box.
    void Waiting();
    // The box has its verdict.
    void Ended(bool pass);

    void OnTextChanged(CWnd& bar) override;

  private:
    void Publish() { m_publish(m_status); }

    std::function<void(const SlotStatus&)> m_publish;
    SlotStatus m_status;
    TransferRate m_rate;
};
