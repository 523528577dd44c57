#pragma once

// One port's boxes, wired in one place for a single run, a --loop run and a station's slot: the
// port chosen, the records (a single run keeps its own; a station's slot sends each up), the log
// file or the log folder, the book of boxes, the capture folder, the box's id, the channel to the
// station and its heartbeat. The host parses its command line and calls; what only a host has
// (a publisher for the line's broker, its signals) comes in SlotExtras.

#include <functional>
#include <vector>

#include "download/BoxSession.h"
#include "slot/BoxBook.h"
#include "slot/SlotConfig.h"

class SlotScreen;
class UnitDealer;
class SlotSession;

struct SlotExtras {
    // Told of each record as kept, with its line (the broker's publisher).
    BoxBook::RecordSink recordKept;
    // Also hear the slot's states, figures and ends (the broker's publisher).
    std::vector<BoxSession::Sink*> sinks;
    // The session under way, then null once it is over: where the host's signals reach it.
    std::function<void(SlotSession*)> running;
    // A single run of a job with a [unit]: its own pool, which it draws each box's unit from.
    UnitDealer* dealer = nullptr;
};

// Serves `config`'s boxes and answers the exit status (ExitStatus.h). What cannot be set up
// before the first box is said on standard error.
int ServeSlot(const SlotConfig& config, SlotScreen& screen, const SlotExtras& extras = {});

// A station's slot: says hello on the channel `fd`, reads its configuration from it and serves as
// its station says, telling it everything on the same channel.
int ServeStationSlot(int fd, SlotScreen& screen,
                     const std::function<void(SlotSession*)>& running = {});
