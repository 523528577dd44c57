#include "slot/PowerLineInput.h"

std::optional<HeldLine> PowerLineFor(const SlotConfig& config, const SlotInput& input) {
    if (input.kind != SlotInput::Kind::PowerSwitch || config.powerLine.empty() ||
        (input.value != "on" && input.value != "off")) {
        return std::nullopt;
    }
    const bool on = input.value == "on";
    return HeldLine{config.powerLine == "rts" ? ModemLine::Rts : ModemLine::Dtr,
                    on == config.powerOnAsserted};
}

std::optional<std::string> SwitchPowerLine(const SlotConfig& config, const SlotInput& input) {
    const std::optional<HeldLine> held = PowerLineFor(config, input);
    if (!held) {
        return std::nullopt;
    }
    const SysResult set = HoldModemLine(held);
    if (set.status == SysStatus::Ok) {
        return std::nullopt;
    }
    const char* name = held->line == ModemLine::Rts ? "RTS" : "DTR";
    return std::string("power control failed: ") + (held->asserted ? "asserting " : "clearing ") +
           name + ": " + SysFailure(set, config.port).Describe();
}
