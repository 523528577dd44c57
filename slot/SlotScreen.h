#pragma once

// Where a slot's run shows itself, and what hosts its dialog without a window: the command
// line's console (hosts/cli) for a single run and for a station's slot alike. The slot's session
// tells it what to show; it decides nothing.
//
// Threading rules: UI thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "download/ProgressFigures.h"

class CDialog;
class CWnd;

class SlotScreen {
  public:
    virtual ~SlotScreen() = default;

    // The run begins: from now until Close, a host runs the dialog; `created` hears each
    // dialog once its controls exist and before it is initialised, and `droppedBytes` counts
    // what was lost at "buff full".
    virtual void Open(std::function<void(CDialog&)> created,
                      std::function<std::uint64_t()> droppedBytes) = 0;
    // The main dialog's log view: shown from its first line on.
    virtual void FollowLog(CWnd& log) = 0;
    // A line for the operator, line break included.
    virtual void Say(const std::string& line) = 0;
    // A download begins; its figures as they change; it ends.
    virtual void ProgressStarted() = 0;
    virtual void Progress(const ProgressFigures& figures) = 0;
    virtual void ProgressEnded() = 0;
    // The run is over and its dialog gone: what was held back is shown, and the host goes.
    virtual void Close() = 0;
};
