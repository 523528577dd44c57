#include "station/ColumnText.h"

#include <algorithm>
#include <cstdio>

namespace {

bool Continues(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Characters, counting a UTF-8 sequence as one.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !Continues(c); }));
}

// The first `count` characters of `text`.
std::string Head(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        if (!Continues(text[at]) && seen++ == count) {
            break;
        }
    }
    return text.substr(0, at);
}

}  // namespace

std::string Column(const std::string& text, std::size_t width) {
    const std::size_t w = Width(text);
    if (w <= width) {
        return text + std::string(width - w, ' ');
    }
    return Head(text, width - 1) + "\u2026";
}

std::string RightColumn(const std::string& text, std::size_t width) {
    const std::size_t w = Width(text);
    return w < width ? std::string(width - w, ' ') + text : Column(text, width);
}

std::string ShortenMiddle(const std::string& text, std::size_t width) {
    const std::size_t w = Width(text);
    if (w <= width || width < 3) {
        return text;
    }
    const std::size_t tail = (width - 1) / 2;
    const std::size_t head = width - 1 - tail;
    std::string end = text;
    while (Width(end) > tail) {
        end.erase(0, 1);
        while (!end.empty() && Continues(end.front())) {
            end.erase(0, 1);
        }
    }
    return Head(text, head) + "\u2026" + end;
}

std::string ShownRate(double bytesPerSecond) {
    char text[32];
    if (!(bytesPerSecond > 0)) {
        return "-";
    }
    if (bytesPerSecond >= 1000) {
        std::snprintf(text, sizeof text, "%.1f kB/s", std::min(bytesPerSecond, 1e12) / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    }
    return text;
}

std::string ShownEta(double seconds) {
    if (!(seconds >= 0)) {
        return "-";
    }
    const long long s = static_cast<long long>(std::min(seconds, 1e9) + 0.5);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}
