#include "tools/stbsim/StbBox.h"

#include <algorithm>
#include <cstdio>

#include "tools/stbsim/ConsoleText.h"
#include "tools/stbsim/StbClock.h"
#include "tools/stbsim/StbFrames.h"

namespace stbsim {
namespace {

std::string DataName(uint32_t offset, uint16_t length) {
    char text[80];
    std::snprintf(text, sizeof text, "STB_DATA_REQ offset=0x%08X len=%u", offset, length);
    return text;
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

double Micros(StbLine::Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

}  // namespace
}  // namespace stbsim

using namespace stbsim;

StbBox::StbBox(const StbSimOptions& options, StbLine& line, StbSimStats& stats, int number)
    : m_region(options.regionLength, -1),
      m_options(options),
      m_line(line),
      m_stats(stats),
      m_nNumber(number) {}

std::string StbBox::Run() {
    std::string fault = WriteAll(BootBanner(m_nNumber, m_options.serial));
    if (fault.empty() && m_options.chatter != StbSimOptions::Chatter::None) {
        return Chatter();
    }
    if (fault.empty()) {
        fault = Start();
    }
    if (fault.empty()) {
        fault = Time();
    }
    if (fault.empty()) {
        fault = Data();
    }
    if (fault.empty() && !m_bHungUp && m_options.programMs > 0) {
        fault = Program();
    }
    if (fault.empty() && !m_bHungUp) {
        fault = Exit();
    }
    ShowRegion();
    return fault;
}

void StbBox::ShowRegion() {
    if (m_options.regionLength == 0 || !m_options.log) {
        return;
    }
    char head[96];
    std::snprintf(head, sizeof head, "box %d region 0x%llX+%u:", m_nNumber,
                  static_cast<unsigned long long>(m_options.regionOffset), m_options.regionLength);
    std::string line = head;
    for (const int byte : m_region) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        line += byte < 0 ? std::string(" ..") : std::string(hex);
    }
    m_options.log(line);
}

std::string StbBox::Chatter() {
    const StbSimOptions::Chatter kind = m_options.chatter;
    const bool garbage = kind == StbSimOptions::Chatter::Garbage;
    // A flood has no pause of its own: the line's pace (or the tool's reading) holds it back.
    const bool flood =
        kind == StbSimOptions::Chatter::Flood || kind == StbSimOptions::Chatter::Endless;
    m_bHungUp = true;
    m_strEarlyEnd = garbage ? "sent garbage" : "only talked";
    const auto text = [kind, garbage](uint64_t n) {
        return garbage                                   ? GarbageBytes(n)
               : kind == StbSimOptions::Chatter::Endless ? EndlessLinePiece(n)
                                                         : NoiseLine(n, 0);
    };
    for (uint64_t n = 0;; ++n) {
        std::string bytes = text(n);
        while (flood && bytes.size() < m_options.floodPiece) {
            bytes += text(++n);
        }
        std::string fault = WriteAll(bytes);
        if (!fault.empty()) {
            return fault.starts_with("line lost") ? std::string() : fault;
        }
        const auto pause = flood ? std::chrono::milliseconds(0) : std::chrono::milliseconds(300);
        const StbLine::Io io = m_line.WaitReadable(Clock::now() + pause);
        if (io == StbLine::Io::Ok) {
            uint8_t ignored[256];
            m_line.ReadPending(ignored, sizeof ignored);  // the tool's bytes mean nothing here
        } else if (io == StbLine::Io::Lost) {
            return {};
        } else if (io != StbLine::Io::TimedOut) {
            return IoFault(io, "console text");
        }
    }
}

std::string StbBox::Program() {
    const auto end = Clock::now() + std::chrono::milliseconds(m_options.programMs);
    for (int percent = 0; Clock::now() < end; percent += 2) {
        std::string fault =
            WriteAll("flash: programming " + std::to_string(std::min(percent, 99)) + " %\r\n");
        if (fault.empty()) {
            const StbLine::Io io = m_line.Pause(std::chrono::milliseconds(500));
            fault = io == StbLine::Io::Ok ? std::string() : IoFault(io, "programming");
        }
        if (!fault.empty()) {
            return fault;
        }
    }
    return {};
}

StbLine::Clock::time_point StbBox::AnswerDeadline(size_t answerBytes) const {
    return Clock::now() + std::chrono::milliseconds(m_options.answerTimeoutMs) +
           m_line.ByteTime(answerBytes);
}

std::string StbBox::IoFault(StbLine::Io io, const std::string& what) const {
    switch (io) {
        case StbLine::Io::Cancelled:
            return "stopped while waiting for " + what;
        case StbLine::Io::Lost:
            return "line lost at " + what + ": " + m_line.LostReason();
        case StbLine::Io::TimedOut:
            return "no answer to " + what;
        case StbLine::Io::Ok:
            return {};
        default:
            // The line answers only the four above.
            return std::string(SysStatusName(io)) + " at " + what;
    }
}

std::string StbBox::WriteAll(const std::string& text) {
    const auto io = m_line.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                 AnswerDeadline(text.size()));
    return IoFault(io, "console text");
}

std::string StbBox::SendRequest(const std::vector<uint8_t>& frame, const std::string& what) {
    uint8_t stray[64];
    const size_t n = m_line.ReadPending(stray, sizeof stray);
    if (n > 0) {
        return "unexpected bytes before " + what + ": " + HexBytes(stray, n);
    }
    if (m_options.consoleNoise) {
        std::string fault =
            WriteAll(NoiseLine(m_nRequests, static_cast<uint32_t>(m_stats.imageBytes)));
        if (!fault.empty()) {
            return fault;
        }
    }
    ++m_nRequests;
    ++m_stats.requests;
    // Pieces of 1 and the rest, or 1, 4 and the rest for a data request: the tool must wait
    // for the missing bytes of a frame instead of giving up on it.
    std::vector<size_t> cuts{frame.size()};
    if (m_options.splitFrames) {
        cuts = frame.size() > 3 ? std::vector<size_t>{1, 5, frame.size()}
                                : std::vector<size_t>{1, frame.size()};
    }
    size_t from = 0;
    for (size_t cut : cuts) {
        if (from > 0) {
            const auto io = m_line.Pause(std::chrono::milliseconds(m_options.splitPauseMs));
            if (io != StbLine::Io::Ok) {
                return IoFault(io, what);
            }
        }
        const auto io = m_line.Write(frame.data() + from, cut - from, AnswerDeadline(cut - from));
        if (io != StbLine::Io::Ok) {
            return IoFault(io, what);
        }
        from = cut;
    }
    m_requestSent = Clock::now();
    return {};
}

std::string StbBox::AwaitAnswer(const std::string& what, Clock::time_point deadline, bool isData) {
    const auto io = m_line.WaitReadable(deadline);
    if (io != StbLine::Io::Ok) {
        return IoFault(io, what);
    }
    const double micros = Micros(Clock::now() - m_requestSent);
    m_stats.latencyMicros.push_back(micros);
    if (isData) {
        m_stats.dataLatencyMicros.push_back(micros);
        if (!m_bDataAnswered) {
            m_bDataAnswered = true;
            m_stats.firstDataMicros.push_back(micros);
        }
    }
    return {};
}

std::string StbBox::ReadAnswer(uint8_t* data, size_t size, const std::string& what,
                               Clock::time_point deadline) {
    size_t got = 0;
    const auto io = m_line.Read(data, size, deadline, got);
    if (io == StbLine::Io::TimedOut) {
        return "no complete answer to " + what + ": received " + std::to_string(got) + " of " +
               std::to_string(size) + " bytes: " + HexBytes(data, got);
    }
    return IoFault(io, what);
}

std::string StbBox::ReadStartAnswer(const std::string& what) {
    const std::vector<uint8_t> expected = StartAnswer();
    uint8_t answer[4] = {};
    std::string fault = ReadAnswer(answer, sizeof answer, what, AnswerDeadline(sizeof answer));
    if (!fault.empty()) {
        return fault;
    }
    if (!std::equal(answer, answer + sizeof answer, expected.begin(), expected.end())) {
        return "wrong answer to " + what + ": expected " + HexBytes(expected) + ", received " +
               HexBytes(answer, sizeof answer);
    }
    return {};
}

std::string StbBox::Start() {
    const std::string what = "STB_START";
    const auto giveUp = Clock::now() + std::chrono::milliseconds(m_options.startTimeoutMs);
    int sent = 0;
    for (;;) {
        std::string fault = SendRequest(StartRequest(), what);
        if (!fault.empty()) {
            return fault;
        }
        ++sent;
        const auto retry = Clock::now() + std::chrono::milliseconds(m_options.startRepeatMs);
        const auto io = m_line.WaitReadable(std::min(retry, giveUp));
        if (io == StbLine::Io::Ok) {
            break;
        }
        if (io != StbLine::Io::TimedOut || Clock::now() >= giveUp) {
            fault = IoFault(io, what);
            return io == StbLine::Io::TimedOut
                       ? fault + " (02 01 03 sent " + std::to_string(sent) + " times over " +
                             std::to_string(m_options.startTimeoutMs) + " ms)"
                       : fault;
        }
    }
    m_stats.latencyMicros.push_back(Micros(Clock::now() - m_requestSent));
    m_stats.startMicros.push_back(m_stats.latencyMicros.back());
    std::string fault = ReadStartAnswer(what);
    if (!fault.empty()) {
        return fault;
    }
    if (m_options.log) {
        m_options.log("box " + std::to_string(m_nNumber) + ": STB_START answered (sent " +
                      std::to_string(sent) + (sent == 1 ? " time)" : " times)"));
    }
    return sent > 1 ? SettleRepeatedStarts(sent - 1) : std::string();
}

std::string StbBox::SettleRepeatedStarts(int unanswered) {
    const auto quiet = std::chrono::milliseconds(m_options.startSyncQuietMs);
    while (unanswered > 0) {
        std::string fault = WriteAll(SyncLine());
        if (!fault.empty()) {
            return fault;
        }
        if (m_line.WaitReadable(Clock::now() + quiet + m_line.ByteTime(4)) != StbLine::Io::Ok) {
            return {};  // the other repeats were purged by the tool: nothing more will come
        }
        fault = ReadStartAnswer("a repeated STB_START");
        if (!fault.empty()) {
            return fault;
        }
        --unanswered;
    }
    return {};
}

std::string StbBox::Time() {
    const std::string what = "STB_TIME_REQ";
    const std::tm before = LocalNow();
    std::string fault = SendRequest(TimeRequest(), what);
    if (fault.empty()) {
        fault = AwaitAnswer(what, AnswerDeadline(kTimeAnswerSize), false);
    }
    uint8_t answer[kTimeAnswerSize] = {};
    if (fault.empty()) {
        fault = ReadAnswer(answer, sizeof answer, what, AnswerDeadline(sizeof answer));
    }
    if (!fault.empty()) {
        return fault;
    }
    fault = CheckTimeAnswer(answer, before, LocalNow(), m_options.timeSkewSeconds);
    if (!fault.empty()) {
        return "wrong answer to STB_TIME_REQ: " + fault;
    }
    return {};
}

std::string StbBox::Data() {
    const uint64_t size = m_options.image.size();
    const auto started = Clock::now();
    for (uint64_t offset = 0; offset < size && !m_bHungUp; offset += m_options.blockSize) {
        bool done = false;
        if (std::string fault = FailOnPurpose(done); !fault.empty() || done) {
            return fault;
        }
        const auto length =
            static_cast<uint16_t>(std::min<uint64_t>(m_options.blockSize, size - offset));
        std::string fault = Block(static_cast<uint32_t>(offset), length);
        if (!fault.empty()) {
            return fault;
        }
    }
    m_stats.dataSeconds += std::chrono::duration<double>(Clock::now() - started).count();
    if (m_options.log && !m_bHungUp) {
        m_options.log("box " + std::to_string(m_nNumber) + ": " + std::to_string(size) +
                      " image bytes received and checked");
    }
    return {};
}

std::string StbBox::FailOnPurpose(bool& done) {
    const auto reached = [this](int64_t bound) {
        return bound >= 0 && static_cast<int64_t>(m_stats.imageBytes) >= bound;
    };
    if (reached(m_options.stopReadingAfterBytes)) {
        // More than a pseudo-terminal or a UART's buffer holds, so the tool's write stalls.
        const auto length =
            static_cast<uint16_t>(std::min<uint64_t>(65535, m_options.image.size()));
        std::string fault = SendRequest(DataRequest(length, 0), "a block never read");
        if (fault.empty()) {
            Freeze("stopped reading");
        }
        done = true;
        return fault;
    }
    if (reached(m_options.silentAfterBytes)) {
        Freeze("fell silent");
        done = true;
    }
    return {};
}

void StbBox::Freeze(const std::string& what) {
    m_bHungUp = true;
    m_strEarlyEnd = what;
    if (m_options.log) {
        m_options.log("box " + std::to_string(m_nNumber) + ": " + what + " after " +
                      std::to_string(m_stats.imageBytes) + " image bytes, as asked");
    }
    // A frozen box stays frozen while the tool holds the port. Once the tool has let go, nothing
    // can reach this box any more, and a script waiting for the simulator must not wait forever.
    if (m_line.AwaitToolGone() == StbLine::Io::Lost && m_options.log) {
        m_options.log("box " + std::to_string(m_nNumber) + ": " + m_line.LostReason());
    }
}

std::string StbBox::Block(uint32_t offset, uint16_t length) {
    const std::string what = DataName(offset, length);
    std::string fault = SendRequest(DataRequest(length, offset), what);
    ++m_stats.dataRequests;
    if (!fault.empty() || length == 0) {
        return fault;
    }
    fault = AwaitAnswer(what, AnswerDeadline(length), true);
    if (!fault.empty()) {
        return fault;
    }
    size_t want = length;
    if (m_options.hangUpAfterBytes >= 0) {
        const auto left = m_options.hangUpAfterBytes - static_cast<int64_t>(m_stats.imageBytes);
        want = static_cast<size_t>(std::clamp<int64_t>(left, 0, length));
    }
    std::vector<uint8_t> got(length);
    size_t count = 0;
    const auto io = m_line.Read(got.data(), want, AnswerDeadline(want), count);
    m_stats.imageBytes += count;
    if (io == StbLine::Io::TimedOut) {
        return "no complete answer to " + what + ": received " + std::to_string(count) + " of " +
               std::to_string(length) + " bytes";
    }
    fault = io == StbLine::Io::Ok ? CheckBlock(offset, got.data(), count) : IoFault(io, what);
    if (fault.empty() && want < length) {
        m_line.HangUp();
        m_bHungUp = true;
        m_strEarlyEnd = "line hung up";
        if (m_options.log) {
            m_options.log("box " + std::to_string(m_nNumber) + ": line hung up after " +
                          std::to_string(m_stats.imageBytes) + " image bytes, as asked");
        }
    }
    return fault;
}

std::string StbBox::CheckBlock(uint32_t offset, const uint8_t* got, size_t count) {
    const uint8_t* expected = m_options.image.data() + offset;
    // The region's bytes are the box's own: kept, and compared with nothing.
    const int64_t from = m_options.regionOffset;
    const int64_t to = from + m_options.regionLength;
    for (size_t i = 0; i < count; ++i) {
        const int64_t at = static_cast<int64_t>(offset) + static_cast<int64_t>(i);
        if (at >= from && at < to) {
            m_region[static_cast<size_t>(at - from)] = got[i];
        }
    }
    auto mismatch = std::mismatch(got, got + count, expected);
    while (mismatch.first != got + count) {
        const int64_t at = static_cast<int64_t>(offset) + (mismatch.first - got);
        if (at < from || at >= to) {
            break;
        }
        mismatch = std::mismatch(mismatch.first + 1, got + count, mismatch.second + 1);
    }
    if (mismatch.first == got + count) {
        return {};
    }
    const size_t at = static_cast<size_t>(mismatch.first - got);
    char text[160];
    std::snprintf(text, sizeof text,
                  "wrong image byte at offset %llu (0x%llX): expected 0x%02X, received 0x%02X, "
                  "in the answer to ",
                  static_cast<unsigned long long>(offset + at),
                  static_cast<unsigned long long>(offset + at), *mismatch.second, *mismatch.first);
    const size_t shown = std::min<size_t>(count - at, 8);
    return text + DataName(offset, static_cast<uint16_t>(count)) + " (expected " +
           HexBytes(mismatch.second, shown) + ", received " + HexBytes(mismatch.first, shown) + ")";
}

std::string StbBox::Exit() {
    std::string fault = SendRequest(ExitRequest(), "EXIT_APP");
    if (!fault.empty()) {
        return fault;
    }
    const auto quiet = Clock::now() + std::chrono::milliseconds(m_options.exitQuietMs);
    const auto io = m_line.WaitReadable(quiet);
    if (io == StbLine::Io::TimedOut) {
        return {};
    }
    if (io != StbLine::Io::Ok) {
        return IoFault(io, "the quiet time after EXIT_APP");
    }
    // Let the rest of the stray answer arrive, so the message shows all of it.
    m_line.Pause(std::chrono::milliseconds(20));
    uint8_t stray[64];
    const size_t n = m_line.ReadPending(stray, sizeof stray);
    return "stray answer to EXIT_APP (it takes none): " + HexBytes(stray, n);
}
