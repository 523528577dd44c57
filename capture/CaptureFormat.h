#pragma once

// A capture is one box's session as it passed over the line, kept for support: every byte the
// box sent, every answer of the tool and the session's events, each with its time, so that a
// failure seen on a line can be played again on a desk (stbsim --replay). docs/capture.md is the
// format's description for anyone who reads these files without this code.
//
// The file is a row of entries and nothing else:
//   kind (1 byte) | time (8 bytes) | body length (4 bytes) | body
// both numbers unsigned little-endian, the time in microseconds since the capture began (the
// download's START). Bulk goes as bytes (what the box sent, answer frames, a data answer's
// offset, length and SHA-256); what has structure goes as one JSON object (the header, the
// events), so a new field needs no new version. A reader skips kinds it does not know and
// ignores an entry cut short at the end: that is what a crash leaves.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <string_view>
#include "platform/base/Result.h"

inline constexpr const char* kCaptureFormatName = "stavel-capture";
inline constexpr int kCaptureVersion = 1;

// --capture-max: a file never grows past it. The least leaves room for a header, some of the
// session and the closing entry.
inline constexpr std::int64_t kCaptureMaxDefault = 64LL * 1024 * 1024;
inline constexpr std::int64_t kCaptureMaxLeast = 64LL * 1024;
// Kept free for the closing entry (the session's end with the box's record) once the cap
// stops a capture.
inline constexpr std::int64_t kCaptureClosingRoom = 16LL * 1024;

enum class CaptureKind : char {
    Header = 'H',   // first entry, time 0: JSON, with "format" and "version"
    Box = 'B',      // bytes the box sent, as the tool read them
    Frame = 'F',    // an answer frame the tool wrote: STX, command, payload, ETX
    Data = 'D',     // a data answer: see CapturedData
    Event = 'E',    // one of the session's events, as JSON
    Stopped = 'X',  // the capture stops here (JSON: why); nothing but the closing event follows
};

inline constexpr std::size_t kCaptureEntryHead = 13;
// No entry's body is larger (a box's run is at most the receive queue, a data answer 42 bytes,
// an event a record); a reader takes a larger length for a broken file.
inline constexpr std::uint64_t kCaptureEntryLargest = 16 * 1024 * 1024;

struct CaptureEntry {
    CaptureKind kind = CaptureKind::Event;
    std::uint64_t micros = 0;
    std::string body;
};

// An entry as it is written to the file.
std::string EncodeCaptureEntry(CaptureKind kind, std::uint64_t micros, std::string_view body);

// A data answer: the block asked for and the SHA-256 of the bytes the port took, not the bytes
// (an image served to many boxes would otherwise be kept once per box). 42 bytes:
// offset (4), length asked (2), bytes sent (4), SHA-256 (32).
struct CapturedData {
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    std::uint32_t sent = 0;
    std::array<unsigned char, 32> sha256{};
};

std::string EncodeCapturedData(const CapturedData& data);
// Nothing for a body of another size.
std::optional<CapturedData> DecodeCapturedData(std::string_view body);

// "--capture-max N": bytes, or with K, M or G (KiB, MiB, GiB); a refusal that says why for
// anything else, or for less than kCaptureMaxLeast.
Result<std::int64_t> ParseCaptureMax(std::string_view text);
