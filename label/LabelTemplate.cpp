#include "label/LabelTemplate.h"

#include <cctype>
#include <cstdio>

namespace {

bool IsCommandPrefix(char c) {
    return c == '^' || c == '~';
}

// The command at `at` ("^FD", "~JR"), in upper case as the printer reads it.
std::string CommandAt(const std::string& text, std::size_t at) {
    std::string command(1, text[at]);
    for (std::size_t k = at + 1; k < text.size() && k <= at + 2; ++k) {
        command += static_cast<char>(std::toupper(static_cast<unsigned char>(text[k])));
    }
    return command;
}

}  // namespace

std::string ZplFieldData(const std::string& value) {
    std::string data;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '^' || c == '~' || c == '_') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02X", byte);
            data += hex;
        } else {
            data += c;
        }
    }
    return data;
}

Result<LabelTemplate> LabelTemplate::Parse(const std::string& text, const std::string& name) {
    const auto refuse = [&name](int line, const std::string& what) {
        return Refusal(name + ":" + std::to_string(line), what);
    };
    // The fields out of the text first, each with its line.
    std::vector<Piece> raw;
    std::string buffer;
    int line = 1;
    int bufferLine = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' && i + 1 < text.size() && text[i + 1] == '{') {
            buffer += '{';
            ++i;
            continue;
        }
        if (c == '{') {
            const std::size_t end = text.find_first_of("}\n", i + 1);
            if (end == std::string::npos || text[end] != '}') {
                return refuse(line, "a { without its } on its line (a literal brace is {{)");
            }
            if (end == i + 1) {
                return refuse(line, "an empty field {}");
            }
            raw.push_back({Piece::Kind::Text, std::move(buffer), bufferLine});
            buffer.clear();
            bufferLine = line;
            raw.push_back({Piece::Kind::Field, text.substr(i + 1, end - i - 1), line});
            i = end;
            continue;
        }
        if (c == '\n') {
            ++line;
        }
        buffer += c;
    }
    raw.push_back({Piece::Kind::Text, std::move(buffer), bufferLine});

    // Whether the data that starts at raw[p].text[k] holds a field before its next command.
    const auto holdsField = [&raw](std::size_t p, std::size_t k) {
        for (; p < raw.size(); ++p, k = 0) {
            if (raw[p].kind == Piece::Kind::Field) {
                return true;
            }
            for (; k < raw[p].text.size(); ++k) {
                if (IsCommandPrefix(raw[p].text[k])) {
                    return false;
                }
            }
        }
        return false;
    };

    LabelTemplate made;
    std::string command;
    std::string previous;
    bool inHeldData = false;  // in the data of a ^FD that holds a field
    for (std::size_t p = 0; p < raw.size(); ++p) {
        const Piece& piece = raw[p];
        if (piece.kind == Piece::Kind::Field) {
            if (!inHeldData) {
                return refuse(piece.line, "{" + piece.text +
                                              "} stands outside a field's data; a value goes "
                                              "only after ^FD, before the next command");
            }
            made.m_pieces.push_back(piece);
            made.m_fields.push_back({piece.text, piece.line});
            continue;
        }
        std::string out;
        int at = piece.line;
        for (std::size_t k = 0; k < piece.text.size(); ++k) {
            const char c = piece.text[k];
            if (c == '\n') {
                ++at;
            }
            if (!IsCommandPrefix(c)) {
                // The template's own underscores in a field that is sent with ^FH_ stay
                // underscores.
                out += inHeldData && c == '_' ? std::string("_5F") : std::string(1, c);
                continue;
            }
            inHeldData = false;
            previous = command;
            command = CommandAt(piece.text, k);
            if (command == "^FD" && holdsField(p, k + 3)) {
                if (previous == "^FH") {
                    return refuse(at,
                                  "a ^FD that holds a value has its own ^FH; leave it out, the "
                                  "values are escaped with ^FH_");
                }
                out += "^FH_";
                inHeldData = true;
            }
            out += piece.text.substr(k, 3);
            k += 2;
        }
        made.m_pieces.push_back({Piece::Kind::Text, std::move(out), piece.line});
    }
    return made;
}

std::string LabelTemplate::Render(const std::map<std::string, std::string>& values) const {
    std::string label;
    for (const Piece& piece : m_pieces) {
        if (piece.kind == Piece::Kind::Text) {
            label += piece.text;
            continue;
        }
        const auto value = values.find(piece.text);
        if (value != values.end()) {
            label += ZplFieldData(value->second);
        }
    }
    return label;
}
