#pragma once

// A station's info topic: who it is, which slots it serves, which version and since when,
// {"station":"line7-pc3","version":"1.0.0.1","started":"2026-12-07T02:31:07.120Z",
//  "slots":[{"label":"A3","port":"/dev/ttyUSB3"}],"job":null,"operator":"Ann",
//  "image":"/srv/fw-2.4.sdl","image_sha256":"3f2a…"}, retained. --watch shows a station's slots
// from it, and the station's next run learns from it which slots it no longer serves.

#include <optional>
#include <string>
#include <vector>

struct StationSlot {
    std::string label;  // the slot's name, as its topics have it
    std::string port;   // as the operator gave it

    bool operator==(const StationSlot&) const = default;
};

struct StationInfo {
    std::string station;
    std::string version;
    std::string started;  // UTC, ISO 8601 with milliseconds
    std::vector<StationSlot> slots;
    // What it serves and for whom: null where nothing says (no job file, no --operator).
    std::optional<std::string> job;
    std::optional<std::string> operatorName;
    std::optional<std::string> image;
    std::optional<std::string> imageSha256;
};

// The one codec of a station's info: the station writes it, --watch and the board read it.
std::string StationInfoJson(const StationInfo& info);
// Nothing when `payload` is not an info (no "slots" array): a cleared topic, another program's.
// What a hostile station sends costs a bounded amount: no more than ParseJsonObject takes, the
// first 256 slots, names cut to 200 bytes and other texts to 300.
std::optional<StationInfo> ParseStationInfo(const std::string& payload);
// Whether `info` lists the slot named `label`. Both are taken as the info's JSON writes them, so
// that a label that is not UTF-8 (read back with U+FFFD in its place) still matches.
bool ListsSlot(const StationInfo& info, const std::string& label);
