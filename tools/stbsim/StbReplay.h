#pragma once

// `stbsim --replay FILE --image IMG`: the box's side of a capture (capture/CaptureFormat.h),
// played against a tool on the line, at the recorded pace or as fast as the answers come. The
// box's bytes go out as they were captured; each answer of the tool is checked against the
// captured one: a frame by its bytes (the time answer without its payload, which always
// differs), a data answer by the SHA-256 of what arrived. The first difference ends the replay,
// named with its time and its request; IMG, the capture's own image (checked by its SHA-256),
// tells the first wrong byte of a data answer.
//
// The replay begins once the tool has opened the line and kept it open for a second, since the
// capture begins at the tool's START. Between answers the tool's bytes are read as they come,
// so a tool writing a long block is never held up by the replay's own pace. A capture that
// ended with the box hanging up hangs up too.
//
// Threading: one thread; the StopSignal from any other.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureReader.h"
#include "capture/CaptureRequests.h"
#include "tools/stbsim/StbLine.h"
#include "tools/stbsim/StbVerdict.h"

struct ReplayOptions {
    bool fast = false;            // as fast as the answers come, not at the recorded pace
    int answerTimeoutMs = 3000;   // per answer, plus its time on the line
    int startTimeoutMs = 300000;  // for the tool to open the line
    std::vector<uint8_t> image;   // the capture's image
    std::function<void(const std::string&)> log;
};

// Empty when `image` is the capture's image, else why not.
std::string CheckReplayImage(const CaptureReader& capture, const std::vector<uint8_t>& image);

class StbReplay {
  public:
    StbReplay(ReplayOptions options, CaptureReader& capture, StbLine& line);

    StbVerdict Run();

  private:
    using Clock = StbLine::Clock;

    // Empty while the replay goes on, else the difference (or the fault) that ends it.
    std::string Play(const CaptureEntry& entry);
    std::string SendBox(const CaptureEntry& entry);
    std::string CheckFrame(const CaptureEntry& entry);
    std::string CheckData(const CaptureEntry& entry);
    std::string OnEvent(const CaptureEntry& entry);
    // The tool's next `count` bytes, read by `deadline`; empty on success, else what came short.
    std::string Receive(std::size_t count, Clock::time_point deadline, std::string& out);
    // Reads what the tool sends until `until`.
    std::string Gather(Clock::time_point until);
    Clock::time_point Due(std::uint64_t micros) const;
    Clock::time_point AnswerDeadline(const CaptureEntry& entry, std::size_t bytes) const;
    // "at 3.104 s, request 7 (STB_DATA_REQ 4096 bytes at 0x00004000)".
    std::string Where(const CaptureEntry& entry) const;
    std::string FirstWrongByte(std::uint32_t offset, const std::string& got) const;
    // A job with a [unit]: the tool's block is the image's bytes but for the unit's region,
    // which holds each box's own data (the captured box's is not the replayed one's).
    bool AsImageAroundRegion(std::uint32_t offset, const std::string& got) const;

    ReplayOptions m_options;
    CaptureReader& m_capture;
    StbLine& m_line;
    Clock::time_point m_base{};
    std::string m_in;  // the tool's bytes not yet checked
    CaptureRequests m_requests;
    std::optional<CapturedRequest> m_request;  // the box's last request sent
    std::uint64_t m_answers = 0;
    std::uint64_t m_lastMicros = 0;
    bool m_hungUp = false;
    bool m_toolMayGoOn = false;  // the box stalled: the rest of the tool's block is no stray
    bool m_stoppedEarly = false;
    // The unit's region, from the capture's "unit" event: checked apart.
    std::int64_t m_regionOffset = 0;
    std::int64_t m_regionLength = 0;
    std::uint64_t m_regionAnswers = 0;  // answers whose region was not compared
};
