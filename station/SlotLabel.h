#pragma once

// A slot's name as the operator gives it: "A3=/dev/ttyUSB0" names the slot A3. A label is 1 to
// 16 of A-Z a-z 0-9 _ . - before the first '='; anything else is a port named by itself, so a
// path that holds '=' stays a path.

#include <string>
#include <string_view>

struct SlotArgument {
    std::string label;  // the slot's name: its label, or the port as given
    std::string port;
};

SlotArgument ReadSlotArgument(const std::string& argument);

// 1 to 16 of A-Z a-z 0-9 _ . -
bool IsSlotLabel(std::string_view text);
