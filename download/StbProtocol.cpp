#include "download/StbProtocol.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "controls/LogEdit.h"
#include "download/DownloadProgress.h"
#include "download/DownloadState.h"
#include "download/ImageIdentity.h"
#include "download/Mjd.h"
#include "download/StbFrame.h"
#include "platform/base/Eintr.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "platform/window/Button.h"
#include "platform/window/WindowMessages.h"
#include "serial/SerialLink.h"

CStbProtocol::CStbProtocol(Wiring wiring)
    : m_wiring(std::move(wiring)), m_block(STB_BLOCK_BUFFER) {}

bool CStbProtocol::DebugMode() {
    return m_wiring.debugCheck.SendMessage(BM_GETCHECK, 0, 0) == 1;
}

LRESULT CStbProtocol::OnCommReceived(WPARAM, LPARAM) {
    // Bytes that come while no download runs stay in the ring buffer for the next start.
    if (m_wiring.state.m_pImageFile == nullptr) {
        return 1;
    }
    DownloadTally& tally = m_wiring.state.m_tally;
    if (m_wiring.link.m_rxRing.GetCount() > 0) {
        // An answer still on the wire keeps the box heard until it has left.
        tally.lastHeard = std::max(tally.lastHeard, std::chrono::steady_clock::now());
        tally.heard = true;
    }
    BYTE command = 0;
    BYTE payload[STB_DATA_REQ_PAYLOAD] = {};
    m_echoed.clear();
    m_reads.clear();
    const int scan = ReadStbFrame(&command, payload);
    for (const ReadRun& run : m_reads) {
        m_wiring.observers.Tell([&run](DownloadObserver& o) { o.OnBoxBytes(run.bytes, run.when); });
    }
    if (!m_echoed.empty()) {
        if (!tally.framed) {
            tally.console.Add(m_echoed);
        }
        m_wiring.observers.Tell([this](DownloadObserver& o) { o.OnConsoleText(m_echoed); });
    }
    if (scan == 1) {
        return 1;
    }
    if (!m_wiring.state.m_tally.framed) {
        m_wiring.state.m_tally.framed = true;
        m_wiring.observers.Tell([](DownloadObserver& o) { o.OnFirstFrame(); });
    }
    const std::uint64_t sentBefore = m_wiring.state.m_tally.bytesSent;
    AnswerFrame(command, payload);
    // A box is not silent while it is being answered: the silence counts from the moment the
    // answer has left the wire. A write returns once the kernel holds the bytes, so the time
    // the answer still needs on the line (10 bits a byte) is added.
    const std::uint64_t answered = m_wiring.state.m_tally.bytesSent - sentBefore;
    m_wiring.state.m_tally.lastHeard =
        std::chrono::steady_clock::now() +
        std::chrono::microseconds(
            WireMicroseconds(static_cast<std::int64_t>(answered), m_wiring.state.m_lineBaud));
    return 1;
}

void CStbProtocol::AnswerFrame(BYTE command, const BYTE* payload) {
    switch (command) {
        case STB_START: {
            if (DebugMode()) {
                m_wiring.log.AppendText("[ZUDI] => STB_START\r\n");
            }
            DownloadState& state = m_wiring.state;
            if (state.m_startGated) {
                if (++state.m_startsHeld == 1) {
                    m_wiring.observers.Tell([](DownloadObserver& o) { o.OnStartHeld(); });
                }
                break;
            }
            const BYTE ack = STB_START_ACK;
            SendStbFrame(STB_START, &ack, 1);
            break;
        }
        case STB_DATA_REQ:
            OnDataRequest(payload);
            break;
        case STB_TIME_REQ:
            if (DebugMode()) {
                m_wiring.log.AppendText("[ZUDI] => STB_TIME_REQ\r\n");
            }
            SendStbTime();
            m_wiring.observers.Tell([](DownloadObserver& o) { o.OnTimeAsked(); });
            break;
        case EXIT_APP:
            OnExitApp();
            break;
        default:
            if (DebugMode()) {
                m_wiring.log.AppendFormat("[ZUDI] Unknown STB command 0x%02X.\r\n", command);
            }
            break;
    }
}

int CStbProtocol::ReadStbFrame(BYTE* command, BYTE* payload) {
    CRingBuffer& ring = m_wiring.link.m_rxRing;
    // The bound is fixed now: bytes that arrive during the scan complete frames but add no
    // attempts. An attempt that begins with STX consumes the whole frame and counts as one.
    const int attempts = ring.GetCount();
    if (attempts == 0) {
        return 1;
    }
    // A byte that does not come within its wait ends the scan: the ring buffer is empty, so
    // further attempts could only wait again, and the partial frame is never answered.
    auto take = [this, &ring](BYTE* byte) {
        const bool waits = ring.GetCount() == 0;
        if (ring.GetByte(byte, STB_BYTE_TIMEOUT_MS) != 1) {
            return false;
        }
        NoteRead(*byte, waits);
        return true;
    };
    for (int attempt = 0; attempt < attempts; ++attempt) {
        BYTE byte = 0;
        if (!take(&byte)) {
            return 1;
        }
        if (byte != STX) {
            EchoByte(byte);
            continue;
        }
        BYTE cmd = 0;
        if (!take(&cmd)) {
            return 1;
        }
        if (cmd == STB_DATA_REQ) {
            for (int i = 0; i < STB_DATA_REQ_PAYLOAD; ++i) {
                if (!take(&payload[i])) {
                    return 1;
                }
            }
        }
        BYTE last = 0;
        if (!take(&last)) {
            return 1;
        }
        if (last == ETX) {
            *command = cmd;
            return 0;
        }
        // The frame's STX, command and payload are dropped; only the wrong last byte shows.
        EchoByte(last);
    }
    return 1;
}

void CStbProtocol::NoteRead(BYTE byte, bool waited) {
    if (waited || m_reads.empty()) {
        m_reads.push_back(ReadRun{std::chrono::steady_clock::now(), {}});
    }
    m_reads.back().bytes += static_cast<char>(byte);
}

void CStbProtocol::EchoByte(BYTE byte) {
    m_wiring.log.AppendFormat("%c", byte);
    m_echoed += static_cast<char>(byte);
}

void CStbProtocol::SendStbFrame(BYTE command, const BYTE* payload, DWORD length) {
    CSerialLink& link = m_wiring.link;
    const BYTE stx = STX;
    const BYTE etx = ETX;
    link.Write(&stx, 1);
    link.Write(&command, 1);
    if (length > 0) {
        link.Write(payload, length);
    }
    link.Write(&etx, 1);
    std::string frame{static_cast<char>(STX), static_cast<char>(command)};
    if (length > 0) {
        frame.append(reinterpret_cast<const char*>(payload), length);
    }
    frame += static_cast<char>(ETX);
    m_wiring.observers.Tell([&frame](DownloadObserver& o) { o.OnFrameSent(frame); });
}

void CStbProtocol::SendStbTime() {
    const std::time_t now = m_clock ? m_clock() : std::time(nullptr);
    char lines[128] = {};
    std::size_t length = 0;
    std::tm utc{};
    if (gmtime_r(&now, &utc) != nullptr) {
        length += static_cast<std::size_t>(std::snprintf(
            lines, sizeof lines, "[UTC]   : %04d-%02d-%02d, %02d:%02d:%02d\n", utc.tm_year + 1900,
            utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec));
    }
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return;
    }
    length += static_cast<std::size_t>(
        std::snprintf(lines + length, sizeof lines - length,
                      "[LOCAL] : %04d-%02d-%02d, %02d:%02d:%02d\n", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec));
    length = std::min(length, sizeof lines - 1);
    if (m_timeOut != nullptr) {
        std::fwrite(lines, 1, length, m_timeOut);
        std::fflush(m_timeOut);
    } else {
        // Queued, never waited for: the box is answered whether or not anyone reads them.
        WriteStdout(std::string_view(lines, length));
    }

    const int mjd = ModifiedJulianDate(local.tm_year, local.tm_mon + 1, local.tm_mday);
    const BYTE payload[5] = {
        static_cast<BYTE>((mjd >> 8) & 0xFF), static_cast<BYTE>(mjd & 0xFF),
        static_cast<BYTE>(local.tm_hour),     static_cast<BYTE>(local.tm_min),
        static_cast<BYTE>(local.tm_sec),
    };
    SendStbFrame(STB_TIME_REQ, payload, sizeof payload);
}

bool CStbProtocol::ImageUnchangedSinceStart() {
    const DownloadState& state = m_wiring.state;
    return ImageUnchanged(state.m_imageIdentity, state.m_strImagePath, fileno(state.m_pImageFile));
}

bool CStbProtocol::SendImageBlock(DWORD offset, WORD length) {
    m_sentWhole = 0;
    std::FILE* file = m_wiring.state.m_pImageFile;
    if (file == nullptr || length == 0) {
        return true;
    }
    // Checked before the read and again after it: bytes read while the file was being
    // rewritten may be half old and half new, and none of them may reach the box.
    if (!ImageUnchangedSinceStart()) {
        return false;
    }
    // pread rather than the stream: no buffer of earlier reads can be served from.
    const int fd = fileno(file);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = RetryOnEintr([&] {
            return pread(fd, m_block.data() + got, length - got,
                         static_cast<off_t>(offset) + static_cast<off_t>(got));
        });
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (!ImageUnchangedSinceStart()) {
        return false;
    }
    PatchOverlay(offset, got);
    SendPiecesOf(offset, got);
    return true;
}

void CStbProtocol::PatchOverlay(DWORD offset, std::size_t length) {
    const std::optional<ImageOverlay>& overlay = m_wiring.state.m_overlay;
    if (!overlay) {
        return;
    }
    const std::int64_t from = std::max<std::int64_t>(offset, overlay->offset);
    const std::int64_t to = std::min<std::int64_t>(
        static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(length),
        overlay->offset + static_cast<std::int64_t>(overlay->bytes.size()));
    if (from < to) {
        std::memcpy(m_block.data() + (from - offset),
                    overlay->bytes.data() + (from - overlay->offset),
                    static_cast<std::size_t>(to - from));
    }
}

void CStbProtocol::SendPiecesOf(DWORD offset, std::size_t length) {
    DownloadTally& tally = m_wiring.state.m_tally;
    for (std::size_t pos = 0; pos < length; pos += STB_WRITE_PIECE) {
        const std::size_t piece = std::min<std::size_t>(STB_WRITE_PIECE, length - pos);
        const DWORD sent = m_wiring.link.Write(m_block.data() + pos, static_cast<DWORD>(piece));
        tally.bytesSent += sent;
        if (m_sentWhole == pos) {
            m_sentWhole += sent;
        }
        // What the port took is what the box can have been given, and no more.
        const std::int64_t at = static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(pos);
        tally.sentCoverage.Add(at, sent, m_wiring.state.m_nImageSize);
        if (const std::optional<ImageOverlay>& overlay = m_wiring.state.m_overlay) {
            // Kept in the overlay's own offsets: which of the box's own bytes it can have.
            tally.overlaySent.Add(at - overlay->offset, sent,
                                  static_cast<std::int64_t>(overlay->bytes.size()));
        }
    }
}

void CStbProtocol::OnImageChanged() {
    m_wiring.log.AppendText("Image file changed during the download!!!\r\n");
    DownloadEnded ended;
    ended.reason = EndReason::ImageChanged;
    m_wiring.stop(ended);
}

void CStbProtocol::OnDataRequest(const BYTE* payload) {
    if (DebugMode()) {
        m_wiring.log.AppendText("[ZUDI] => STB_DATA_REQ\r\n");
    }
    DownloadState& state = m_wiring.state;
    if (state.m_startGated) {
        // A box that asks for data before its START is answered gets no byte of the image: it
        // may be the wrong box, or one that passed before.
        return;
    }
    if (state.m_unitWanted && !state.m_overlay) {
        // No byte of the image goes out before the box's own data is in hand.
        state.m_heldRequest.emplace();
        std::copy(payload, payload + STB_DATA_REQ_PAYLOAD, state.m_heldRequest->begin());
        return;
    }
    const StbDataRequest request = ParseDataRequest(payload);
    if (DebugMode()) {
        m_wiring.log.AppendFormat("Offset=0x%08lx, Len=0x%04hx\r\n",
                                  static_cast<unsigned long>(request.offset),
                                  static_cast<unsigned short>(request.length));
    }
    const std::int64_t sentBefore = m_wiring.state.m_tally.bytesSent;
    if (!SendImageBlock(request.offset, request.length)) {
        OnImageChanged();
        return;
    }
    const std::string_view sent(reinterpret_cast<const char*>(m_block.data()), m_sentWhole);
    m_wiring.observers.Tell(
        [&](DownloadObserver& o) { o.OnDataSent(request.offset, request.length, sent); });

    ++state.m_tally.requests;
    state.m_tally.coverage.Add(request.offset, request.length, state.m_nImageSize);
    state.m_nOffset = static_cast<std::int64_t>(request.offset) + request.length;
    // Far past the end of a tiny image the position exceeds an int; the bar clamps anything
    // above its range, so cap it there rather than let it wrap negative.
    const std::int64_t position =
        std::min<std::int64_t>(ProgressPosition(state.m_nOffset, state.m_nImageSize), INT_MAX);
    m_wiring.progress.SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0);
    m_wiring.progress.SetWindowText(ProgressText(state.m_nOffset, state.m_nImageSize));

    const DownloadTally& tally = state.m_tally;
    RequestAnswered answered;
    answered.offset = request.offset;
    answered.length = request.length;
    answered.sent = tally.bytesSent - sentBefore;
    answered.position = state.m_nOffset;
    answered.imageSize = state.m_nImageSize;
    answered.bytesSent = tally.bytesSent;
    answered.distinctSent = tally.sentCoverage.Bytes();
    answered.distinctAsked = tally.coverage.Bytes();
    answered.requests = tally.requests;
    m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnRequestAnswered(answered); });
}

void CStbProtocol::AnswerHeldRequest() {
    DownloadState& state = m_wiring.state;
    if (!state.m_heldRequest || !state.m_overlay || state.m_pImageFile == nullptr) {
        return;
    }
    const std::array<BYTE, STB_DATA_REQ_PAYLOAD> payload = *state.m_heldRequest;
    state.m_heldRequest.reset();
    const std::uint64_t sentBefore = state.m_tally.bytesSent;
    OnDataRequest(payload.data());
    // As for any answer: the silence counts from when it has left the wire.
    const auto answered = static_cast<std::int64_t>(state.m_tally.bytesSent - sentBefore);
    state.m_tally.lastHeard =
        std::chrono::steady_clock::now() +
        std::chrono::microseconds(WireMicroseconds(answered, state.m_lineBaud));
}

void CStbProtocol::AnswerHeldStarts() {
    DownloadState& state = m_wiring.state;
    if (state.m_pImageFile == nullptr) {
        state.m_startsHeld = 0;
        return;
    }
    if (state.m_startsHeld == 0) {
        return;
    }
    for (; state.m_startsHeld > 0; --state.m_startsHeld) {
        const BYTE ack = STB_START_ACK;
        SendStbFrame(STB_START, &ack, 1);
    }
    // The box is answered now: its silence counts from here, not from its last START.
    state.m_tally.lastHeard = std::max(state.m_tally.lastHeard, std::chrono::steady_clock::now());
}

void CStbProtocol::OnExitApp() {
    if (DebugMode()) {
        m_wiring.log.AppendText("EXIT_APP from STB\r\n");
    }
    CurrentHost().Beep(700, 100);
    CurrentHost().Beep(750, 100);
    const std::int64_t size = m_wiring.state.m_nImageSize;
    // Text first, then position: the position change repaints, so the final text shows at once.
    m_wiring.progress.SetWindowText(ProgressText(size, size));
    m_wiring.progress.SendMessage(PBM_SETPOS, kProgressRange, 0);
    // The box ended well; a run that requires the whole image judges what was really sent.
    const DownloadState& state = m_wiring.state;
    const bool whole = state.m_tally.sentCoverage.Bytes() >= state.m_nImageSize;
    const bool delivered =
        !state.m_overlay || state.m_tally.overlaySent.Bytes() >=
                                static_cast<std::int64_t>(state.m_overlay->bytes.size());
    m_wiring.stop(DownloadEnded{!delivered                       ? EndReason::UnitNotDelivered
                                : state.m_requireWhole && !whole ? EndReason::ImageNotWhole
                                                                 : EndReason::Passed,
                                {},
                                {}});
}
