#pragma once

// A slot whose box's power hangs on its port's DTR or RTS line (SlotConfig::powerLine): the
// station's "on" or "off" becomes the line's state, held for every open of the port
// (platform/comm/ModemLine.h). Other input is not the line's.

#include <optional>
#include <string>

#include "platform/comm/ModemLine.h"
#include "slot/SlotConfig.h"
#include "slot/SlotInput.h"

// The line's state for the station's word: on is the asserted line unless the job wired the
// relay the other way. Nothing for input that is not a power switch, or a word that is neither.
std::optional<HeldLine> PowerLineFor(const SlotConfig& config, const SlotInput& input);

// Holds the line `input` asks for; what the slot says when it cannot ("power control failed:
// ..."), else nothing.
std::optional<std::string> SwitchPowerLine(const SlotConfig& config, const SlotInput& input);
