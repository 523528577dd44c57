#pragma once

// A box's power on its adapter's DTR or RTS line (a job's power backend "dtr" or "rts"): a
// relay on the fixture follows the line. Linux raises both lines whenever a port opens, and a
// slot closes and opens its port again at every START, so the line the slot's power wants is
// held for the process: each port it opens gets it at once after the open, and the port open
// now gets it when it changes. Every call goes through Sys(), so a test sees each one.
//
// Threading rules: any thread; one lock keeps the held line and the open port together.

#include <optional>

#include "platform/base/SysResult.h"

enum class ModemLine { Dtr, Rts };

struct HeldLine {
    ModemLine line = ModemLine::Dtr;
    bool asserted = false;

    bool operator==(const HeldLine&) const = default;
};

// Asserts or clears `line` on `fd` (TIOCMBIS or TIOCMBIC).
SysResult SetModemLine(int fd, ModemLine line, bool asserted);

// From now on every port opened gets `held` at once; the port open now gets it too, and the
// answer says how that went (fine when no port is open). Nothing: the lines are left as the
// system sets them.
SysResult HoldModemLine(std::optional<HeldLine> held);

// A port has opened (it gets the held line; the answer says how) or is about to close.
SysResult ModemLinePortOpened(int fd);
void ModemLinePortClosing(int fd);
