#include "station/SlotLabel.h"

#include <algorithm>
#include <string_view>

bool IsSlotLabel(std::string_view text) {
    return !text.empty() && text.size() <= 16 && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '.' || c == '-';
    });
}

SlotArgument ReadSlotArgument(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (equals != std::string::npos && IsSlotLabel(std::string_view(argument).substr(0, equals))) {
        return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    return {argument, argument};
}
