#pragma once

#include <string>

// The box's verdict on the tool: success, or what was wrong or missing, in words an operator
// can act on (which request, expected against received bytes, offset of the first wrong byte).
struct StbVerdict {
    bool ok = false;
    std::string message;

    static StbVerdict Success(std::string text) { return {true, std::move(text)}; }
    static StbVerdict Failure(std::string text) { return {false, std::move(text)}; }
};
