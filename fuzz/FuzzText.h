#pragma once

// What every fuzz target checks of the text it makes from outside input, and how an input is
// cut into several messages.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/Utf8.h"
#include "record/Json.h"

namespace fuzz {

// Stops the run with `what`: libFuzzer keeps the input that led here.
[[noreturn]] inline void Fail(const char* what, std::string_view text) {
    const auto shown = static_cast<int>(text.size() < 2000 ? text.size() : 2000);
    std::fprintf(stderr, "%s: %.*s\n", what, shown, text.data());
    std::abort();
}

// Text for a terminal: no control character reaches it but the line break, neither a C0 nor
// DEL nor a C1 (raw, or as UTF-8), whatever the input held. The terminal is a UTF-8 one, as a
// line PC's is: every target reads in that code set (UseUtf8).
inline void CheckTerminalSafe(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++i;
            continue;
        }
        if (byte < 0x20 || byte == 0x7F) {
            Fail("a control character reached the terminal", text);
        }
        const std::ptrdiff_t length = Utf8SequenceLength(text, i);
        if (length <= 0) {
            Fail("a byte that is no character reached the terminal", text);
        }
        if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            Fail("a C1 control reached the terminal", text);
        }
        i += static_cast<std::size_t>(length);
    }
}

// The code set of a line PC's terminal, whatever the fuzzer's locale; once, before any input.
inline void UseUtf8() {
    static const bool chosen = [] {
        SetCodeSet(CodeSet::Utf8);
        return true;
    }();
    (void)chosen;
}

// JSON a reader elsewhere parses again (a page, a station): it must be one valid object within
// the bounds every reader here keeps.
inline void CheckJsonObject(const std::string& line) {
    if (!ParseJsonObject(line)) {
        Fail("written JSON does not read back", line);
    }
}

// The input cut at each record separator (0x1E) into messages, so that one input can make a
// model meet several messages in a row.
inline std::vector<std::string_view> Messages(const unsigned char* data, std::size_t size) {
    std::vector<std::string_view> pieces;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const std::size_t at = rest.find('\x1e');
        pieces.push_back(rest.substr(0, at));
        if (at == std::string_view::npos) {
            return pieces;
        }
        rest.remove_prefix(at + 1);
    }
}

}  // namespace fuzz
