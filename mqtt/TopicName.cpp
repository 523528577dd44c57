#include "mqtt/TopicName.h"

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string EncodeTopicLevel(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            if (const std::size_t length = Utf8Length(name, i); length > 0) {
                out.append(name, i, length);
                i += length;
                continue;
            }
        }
        if (c < 0x20 || c == 0x7F || c >= 0x80 || c == '/' || c == '+' || c == '#' || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

std::optional<std::string> DecodeTopicLevel(const std::string& level) {
    std::string out;
    for (std::size_t i = 0; i < level.size(); ++i) {
        if (level[i] != '%') {
            out += level[i];
            continue;
        }
        if (i + 2 >= level.size()) {
            return std::nullopt;
        }
        const int high = HexValue(level[i + 1]);
        const int low = HexValue(level[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (EncodeTopicLevel(out) != level) {
        return std::nullopt;  // not the one spelling the encoder makes
    }
    return out;
}

std::string StatusTopic(const std::string& station) {
    return "stavel/" + EncodeTopicLevel(station) + "/status";
}

std::string InfoTopic(const std::string& station) {
    return "stavel/" + EncodeTopicLevel(station) + "/info";
}

std::string StateTopic(const std::string& station, const std::string& slot) {
    return "stavel/" + EncodeTopicLevel(station) + "/" + EncodeTopicLevel(slot) + "/state";
}

std::string ResultTopic(const std::string& station, const std::string& slot) {
    return "stavel/" + EncodeTopicLevel(station) + "/" + EncodeTopicLevel(slot) + "/result";
}

std::optional<std::string> SlotOfStateTopic(const std::string& station, const std::string& topic) {
    const std::string head = "stavel/" + EncodeTopicLevel(station) + "/";
    const std::string tail = "/state";
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0) {
        return std::nullopt;
    }
    const std::string level = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    return level.find('/') == std::string::npos ? DecodeTopicLevel(level) : std::nullopt;
}

std::vector<std::string> TopicLevels(const std::string& topic) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = topic.find('/', start);
        levels.push_back(topic.substr(start, slash - start));
        if (slash == std::string::npos) {
            return levels;
        }
        start = slash + 1;
    }
}
