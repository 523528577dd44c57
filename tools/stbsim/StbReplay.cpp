#include "tools/stbsim/StbReplay.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/digest/Sha256.h"
#include "tools/stbsim/StbFrames.h"

namespace {

// After the last answer: how long any further byte from the tool counts as one too many.
constexpr std::chrono::milliseconds kStrayWait{300};
// The replay begins once the tool has held the line open this long.
constexpr std::chrono::seconds kSettle{1};

std::string Hex(const std::string& bytes) {
    return stbsim::HexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 16);
}

std::string ShortSha(const Sha256Digest& digest) {
    return Sha256Hex(digest).substr(0, 16) + "...";
}

bool IsTimeAnswer(const std::string& frame) {
    return frame.size() == stbsim::kTimeAnswerSize &&
           static_cast<uint8_t>(frame[1]) == stbsim::kCmdTimeReq;
}

// The time answer's payload is the tool's clock: only its frame is compared.
bool SameAnswer(const std::string& captured, const std::string& got) {
    if (!IsTimeAnswer(captured)) {
        return captured == got;
    }
    return got.size() == captured.size() && got[0] == captured[0] && got[1] == captured[1] &&
           got.back() == captured.back();
}

}  // namespace

std::string CheckReplayImage(const CaptureReader& capture, const std::vector<uint8_t>& image) {
    const Json& header = capture.Header();
    const Json started = header.contains("started") && header["started"].is_object()
                             ? header["started"]
                             : Json::object();
    const std::string want = JsonStringAt(started, "sha256");
    const std::string have = Sha256Hex(Sha256OfBytes(image.data(), image.size()));
    if (want == have) {
        return {};
    }
    return "the image is not the capture's: its SHA-256 is " + have + ", the capture's " +
           (want.empty() ? "unknown" : want) + " (" + JsonStringAt(started, "image") + ", " +
           std::to_string(JsonWholeAt(started, "size")) + " bytes)";
}

StbReplay::StbReplay(ReplayOptions options, CaptureReader& capture, StbLine& line)
    : m_options(std::move(options)), m_capture(capture), m_line(line) {}

StbVerdict StbReplay::Run() {
    const StbLine::Io opened =
        m_line.AwaitToolOpen(kSettle, std::chrono::milliseconds(m_options.startTimeoutMs));
    if (opened != StbLine::Io::Ok) {
        return StbVerdict::Failure(opened == StbLine::Io::TimedOut
                                       ? "the tool did not open " + m_line.Path() + " within " +
                                             std::to_string(m_options.startTimeoutMs / 1000) + " s"
                                       : "stopped before the tool opened the line");
    }
    if (m_options.log) {
        m_options.log(std::string("the tool has the line; replaying ") +
                      (m_options.fast ? "as fast as it answers" : "at the recorded pace"));
    }
    const auto began = Clock::now();
    m_base = began;
    while (const std::optional<CaptureEntry> entry = m_capture.Next()) {
        m_lastMicros = entry->micros;
        if (std::string difference = Play(*entry); !difference.empty()) {
            return StbVerdict::Failure(difference);
        }
        if (m_hungUp || m_stoppedEarly) {
            break;
        }
    }
    if (!m_hungUp && !m_toolMayGoOn && !m_stoppedEarly) {
        if (std::string stray = Gather(Clock::now() + kStrayWait); !stray.empty()) {
            return StbVerdict::Failure(stray);
        }
        if (!m_in.empty()) {
            return StbVerdict::Failure("first difference after the last answer (" +
                                       CaptureSeconds(m_lastMicros) + "): the tool sent " +
                                       std::to_string(m_in.size()) +
                                       " bytes the capture does not have: " + Hex(m_in));
        }
    }
    const double took = std::chrono::duration<double>(Clock::now() - began).count();
    char text[160];
    std::snprintf(text, sizeof text,
                  "%llu requests, every answer as captured (%llu answers; %s captured, %.1f s "
                  "replayed)",
                  static_cast<unsigned long long>(m_requests.Count()),
                  static_cast<unsigned long long>(m_answers), CaptureSeconds(m_lastMicros).c_str(),
                  took);
    std::string message = text;
    if (m_stoppedEarly || m_capture.CutShort()) {
        message += "; the capture ends early, so the replay does too";
    }
    if (m_hungUp) {
        message += "; hung up as the box did";
    }
    if (m_regionLength > 0) {
        char region[200];
        std::snprintf(region, sizeof region,
                      "; the unit's region (0x%llX, %lld bytes) checked apart: %llu answer(s) "
                      "held another box's own data there, the image's bytes around it",
                      static_cast<unsigned long long>(m_regionOffset),
                      static_cast<long long>(m_regionLength),
                      static_cast<unsigned long long>(m_regionAnswers));
        message += region;
    }
    return StbVerdict::Success(message);
}

std::string StbReplay::Play(const CaptureEntry& entry) {
    switch (entry.kind) {
        case CaptureKind::Box:
            return SendBox(entry);
        case CaptureKind::Frame:
            return CheckFrame(entry);
        case CaptureKind::Data:
            return CheckData(entry);
        case CaptureKind::Event:
            return OnEvent(entry);
        case CaptureKind::Stopped:
            m_stoppedEarly = true;
            return {};
        default:
            return {};
    }
}

StbReplay::Clock::time_point StbReplay::Due(std::uint64_t micros) const {
    return m_base + std::chrono::microseconds(micros);
}

StbReplay::Clock::time_point StbReplay::AnswerDeadline(const CaptureEntry& entry,
                                                       std::size_t bytes) const {
    // At 115200 baud, as a real line would take it.
    const auto onLine = std::chrono::microseconds(bytes * 10 * 1000000 / 115200);
    const auto from = m_options.fast ? Clock::now() : std::max(Clock::now(), Due(entry.micros));
    return from + std::chrono::milliseconds(m_options.answerTimeoutMs) + onLine;
}

std::string StbReplay::SendBox(const CaptureEntry& entry) {
    if (!m_options.fast) {
        if (std::string fault = Gather(Due(entry.micros)); !fault.empty()) {
            return fault;
        }
    }
    m_requests.Feed(entry.body, entry.micros,
                    [this](const CapturedRequest& request) { m_request = request; });
    const auto* bytes = reinterpret_cast<const uint8_t*>(entry.body.data());
    const StbLine::Io io =
        m_line.Write(bytes, entry.body.size(), Clock::now() + std::chrono::seconds(5));
    if (io != StbLine::Io::Ok) {
        return "at " + CaptureSeconds(entry.micros) + " the box's bytes could not be sent: " +
               (io == StbLine::Io::Cancelled ? std::string("stopped") : m_line.LostReason());
    }
    return {};
}

std::string StbReplay::Where(const CaptureEntry& entry) const {
    std::string where = "first difference at " + CaptureSeconds(entry.micros);
    if (m_request) {
        where +=
            ", request " + std::to_string(m_request->number) + " (" + RequestName(*m_request) + ")";
    }
    return where;
}

std::string StbReplay::Gather(Clock::time_point until) {
    uint8_t chunk[4096];
    for (;;) {
        for (std::size_t n; (n = m_line.ReadPending(chunk, sizeof chunk)) > 0;) {
            m_in.append(reinterpret_cast<const char*>(chunk), n);
        }
        const StbLine::Io io = m_line.WaitReadable(until);
        if (io == StbLine::Io::TimedOut) {
            return {};
        }
        if (io == StbLine::Io::Cancelled) {
            return "stopped";
        }
        if (io == StbLine::Io::Lost) {
            // The tool has let go of the line: what it sent before is all there is.
            return {};
        }
    }
}

std::string StbReplay::Receive(std::size_t count, Clock::time_point deadline, std::string& out) {
    uint8_t chunk[4096];
    StbLine::Io io = StbLine::Io::Ok;
    while (m_in.size() < count) {
        for (std::size_t n; (n = m_line.ReadPending(chunk, sizeof chunk)) > 0;) {
            m_in.append(reinterpret_cast<const char*>(chunk), n);
        }
        if (m_in.size() >= count) {
            break;
        }
        io = m_line.WaitReadable(deadline);
        if (io != StbLine::Io::Ok) {
            break;
        }
    }
    if (m_in.size() < count) {
        const std::string got = m_in.empty() ? "nothing" : std::to_string(m_in.size()) + " bytes";
        return io == StbLine::Io::Cancelled ? "stopped"
               : io == StbLine::Io::Lost
                   ? "the tool closed the line after sending " + got + " of it"
                   : "the tool sent " + got + " of it within " +
                         std::to_string(m_options.answerTimeoutMs / 1000) + " s";
    }
    out = m_in.substr(0, count);
    m_in.erase(0, count);
    return {};
}

std::string StbReplay::CheckFrame(const CaptureEntry& entry) {
    ++m_answers;
    std::string got;
    const std::string shortfall =
        Receive(entry.body.size(), AnswerDeadline(entry, entry.body.size()), got);
    if (!shortfall.empty()) {
        return Where(entry) + ": the capture has the answer " + Hex(entry.body) + "; " + shortfall;
    }
    if (!SameAnswer(entry.body, got)) {
        return Where(entry) + ": the capture has the answer " + Hex(entry.body) +
               (IsTimeAnswer(entry.body) ? " (any time)" : "") + ", the tool answered " + Hex(got);
    }
    return {};
}

std::string StbReplay::FirstWrongByte(std::uint32_t offset, const std::string& got) const {
    const std::vector<uint8_t>& image = m_options.image;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::size_t at = static_cast<std::size_t>(offset) + i;
        if (at >= image.size() || static_cast<uint8_t>(got[i]) != image[at]) {
            char text[120];
            if (at >= image.size()) {
                std::snprintf(text, sizeof text, "; the tool sent 0x%02X past the image's end",
                              static_cast<uint8_t>(got[i]));
            } else {
                std::snprintf(text, sizeof text,
                              "; the first wrong byte is at image offset 0x%08zX: the tool sent "
                              "0x%02X where the image has 0x%02X",
                              at, static_cast<uint8_t>(got[i]), image[at]);
            }
            return text;
        }
    }
    return {};
}

bool StbReplay::AsImageAroundRegion(std::uint32_t offset, const std::string& got) const {
    const std::int64_t from = m_regionOffset;
    const std::int64_t to = m_regionOffset + m_regionLength;
    const std::int64_t start = offset;
    const std::int64_t end = start + static_cast<std::int64_t>(got.size());
    if (m_regionLength == 0 || end <= from || start >= to) {
        return false;
    }
    const std::vector<uint8_t>& image = m_options.image;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::int64_t at = start + static_cast<std::int64_t>(i);
        if ((at < from || at >= to) && (at >= static_cast<std::int64_t>(image.size()) ||
                                        static_cast<uint8_t>(got[i]) != image[at])) {
            return false;
        }
    }
    return true;
}

std::string StbReplay::CheckData(const CaptureEntry& entry) {
    ++m_answers;
    const std::optional<CapturedData> data = DecodeCapturedData(entry.body);
    if (!data) {
        return "at " + CaptureSeconds(entry.micros) + " the capture holds a broken data answer";
    }
    std::string got;
    const std::string shortfall = Receive(data->sent, AnswerDeadline(entry, data->sent), got);
    if (!shortfall.empty()) {
        return Where(entry) + ": the capture has " + std::to_string(data->sent) +
               " bytes in answer; " + shortfall;
    }
    const Sha256Digest digest = Sha256OfBytes(got.data(), got.size());
    if (digest != data->sha256 && AsImageAroundRegion(data->offset, got)) {
        ++m_regionAnswers;
        return {};
    }
    if (digest != data->sha256) {
        return Where(entry) + ": the tool's " + std::to_string(got.size()) +
               " bytes have SHA-256 " + ShortSha(digest) + ", the capture's " +
               ShortSha(data->sha256) + FirstWrongByte(data->offset, got);
    }
    return {};
}

std::string StbReplay::OnEvent(const CaptureEntry& entry) {
    const std::optional<Json> event = ParseJsonObject(entry.body);
    if (event && JsonStringAt(*event, "event") == "unit") {
        m_regionOffset = std::clamp<std::int64_t>(JsonWholeAt(*event, "offset"), 0, INT64_MAX / 2);
        m_regionLength = std::clamp<std::int64_t>(JsonWholeAt(*event, "length"), 0, 65536);
        return {};
    }
    if (!event || JsonStringAt(*event, "event") != "ended") {
        return {};
    }
    const std::string reason = JsonStringAt(*event, "reason");
    if (reason == "port-lost") {
        m_line.HangUp();
        m_hungUp = true;
    } else if (reason == "box-stalled") {
        // The box had stopped reading: the rest of the tool's block is no difference.
        m_toolMayGoOn = true;
    }
    return {};
}
