#include "store/QueryTime.h"

#include <cstdio>
#include <ctime>

std::optional<std::int64_t> ParseQueryTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &consumed) != 3 ||
        consumed != 10) {
        return std::nullopt;
    }
    std::size_t at = 10;
    int millis = 0;
    if (at < text.size()) {
        if (text[at] != 'T' && text[at] != ' ') {
            return std::nullopt;
        }
        int used = 0;
        if (std::sscanf(text.c_str() + at + 1, "%2d:%2d%n", &hour, &minute, &used) != 2 ||
            used != 5) {
            return std::nullopt;
        }
        at += 1 + 5;
        if (at < text.size() && text[at] == ':') {
            if (std::sscanf(text.c_str() + at + 1, "%2d%n", &second, &used) != 1 || used != 2) {
                return std::nullopt;
            }
            at += 3;
            if (at < text.size() && text[at] == '.') {
                std::size_t digits = 0;
                int scale = 100;
                for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
                    millis += (text[at] - '0') * scale;
                    scale /= 10;
                }
                if (digits == 0) {
                    return std::nullopt;
                }
            }
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    const std::string zone = text.substr(at);
    if (zone.empty()) {
        fields.tm_isdst = -1;  // the local time, summer or not as the day has it
        const std::time_t local = std::mktime(&fields);
        return local == -1
                   ? std::nullopt
                   : std::optional<std::int64_t>(static_cast<std::int64_t>(local) * 1000 + millis);
    }
    std::int64_t offset = 0;
    if (zone != "Z") {
        int hours = 0, minutes = 0, used = 0;
        if ((zone[0] != '+' && zone[0] != '-') ||
            std::sscanf(zone.c_str() + 1, "%2d:%2d%n", &hours, &minutes, &used) != 2 || used != 5 ||
            zone.size() != 6 || hours > 23 || minutes > 59) {
            return std::nullopt;
        }
        offset = (zone[0] == '+' ? 1 : -1) * (hours * 3600 + minutes * 60);
    }
    return (static_cast<std::int64_t>(timegm(&fields)) - offset) * 1000 + millis;
}
