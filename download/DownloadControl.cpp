#include "download/DownloadControl.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include "controls/LogEdit.h"
#include "download/DownloadState.h"
#include "download/ImageFile.h"
#include "download/ImageIdentity.h"
#include "download/StbFrame.h"
#include "platform/codepage/ShownText.h"
#include "platform/digest/Sha256.h"
#include "platform/host/Host.h"
#include "platform/ports/PortMap.h"
#include "platform/window/Button.h"
#include "platform/window/ComboBox.h"
#include "platform/window/Edit.h"
#include "platform/window/Static.h"
#include "platform/window/WindowMessages.h"
#include "serial/SerialLink.h"
#include "settings/IniFile.h"

namespace {

constexpr BYTE kByteSize = 8;
constexpr BYTE kOneStopBit = 0;
constexpr BYTE kNoParity = 0;

// The owner's timer that watches for a silent box.
constexpr UINT_PTR kSilenceTimerId = 0x5117;

}  // namespace

CDownloadControl::CDownloadControl(Wiring wiring) : m_wiring(std::move(wiring)) {}

void CDownloadControl::SetLineBaud(DWORD baud) {
    m_wiring.state.m_lineBaud = baud;
}

void CDownloadControl::RequireWholeImage(bool whole) {
    m_wiring.state.m_requireWhole = whole;
}

DownloadStarted CDownloadControl::StartedEvent() const {
    const DownloadState& state = m_wiring.state;
    const int port = static_cast<int>(m_wiring.comboPort.SendMessage(CB_GETCURSEL, 0, 0)) + 1;
    DownloadStarted started;
    started.imagePath = state.m_strImagePath;
    started.imageSize = state.m_nImageSize;
    started.imageSha256 = state.m_imageSha256;
    started.portName = "COM" + std::to_string(port);
    started.device = DevicePathForNumber(port).value_or("");
    started.when = state.m_tally.started;
    started.baud = state.m_lineBaud;
    return started;
}

void CDownloadControl::ShowConnectState(bool connected) {
    m_wiring.lampGreen.ShowWindow(SW_HIDE);
    m_wiring.lampRed.ShowWindow(SW_HIDE);
    (connected ? m_wiring.lampGreen : m_wiring.lampRed).ShowWindow(SW_SHOW);
}

void CDownloadControl::ConnectSerialPort() {
    CSerialLink& link = m_wiring.link;
    const int previous = CSerialLink::PortNumberFromName(link.m_strPortName);
    // No selection reads as index -1, so port 0, which no device answers to.
    const int port = static_cast<int>(m_wiring.comboPort.SendMessage(CB_GETCURSEL, 0, 0)) + 1;

    ShowConnectState(false);
    if (link.m_bOpen) {
        link.Close();
    }
    link.m_hOwnerWnd = m_wiring.owner.GetSafeHwnd();
    const BOOL opened = link.Open(CSerialLink::PortNameFromNumber(port), m_wiring.state.m_lineBaud,
                                  kByteSize, kOneStopBit, kNoParity);
    if (!opened) {
        // The message depends on the port tried before, not on this one: the first failure
        // after start-up always gives the general hint.
        m_lastFailure = link.LastFailure();
        if (previous >= 1 && previous <= 49) {
            m_wiring.log.AppendFormat("Connection COM%d Error!!!\r\n", port);
        } else {
            m_wiring.log.AppendText("Connection Error!!!, Check the serial port number.\r\n");
        }
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnConnectFailed(m_lastFailure); });
    }
    if (link.m_bOpen) {
        if (m_storePort) {
            m_wiring.ini.SetInt("Gerneral", "COM Port Number", port);
        }
        m_wiring.log.AppendFormat("Connected COM%d successfully......\r\n", port);
        ShowConnectState(true);
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnConnected(port); });
    }
}

void CDownloadControl::OnStartStop() {
    DownloadState& state = m_wiring.state;
    state.CloseImage();

    if (DownloadState::s_bRunning) {
        m_wiring.log.AppendText("\r\nStop uploading....\r\n\r\n");
        DownloadState::s_bRunning = false;
        StopSteps();
        const DownloadEnded ended = m_stopFor.value_or(DownloadEnded{});
        m_stopFor.reset();
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnEnded(ended); });
        return;
    }
    m_stopFor.reset();

    state.m_strImagePath = m_wiring.editPath.GetWindowText();
    if (state.m_strImagePath.empty()) {
        m_lastFailure = SysFailure{SysResult{SysStatus::NotFound, "", 0}, ""};
        AfxMessageBox("No input file");
        StopSteps();
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnStartRefused(m_lastFailure); });
        return;
    }
    m_wiring.btnStart.SetWindowText("Stop");
    m_wiring.comboPort.EnableWindow(0);
    m_wiring.editPath.EnableWindow(0);
    m_wiring.btnBrowse.EnableWindow(0);
    // The text stays: the previous download's count shows until the first request replaces it.
    m_wiring.progress.SendMessage(PBM_SETPOS, 0, 0);

    if (const Result<void> opened = OpenImage(); !opened) {
        // The reason goes on a line of its own, so the message the operator knows stays whole.
        AfxMessageBox((m_wrongImage ? "Not the required image\n" : "Cannot read input file\n") +
                      EscapeName(state.m_strImagePath) + ": " + opened.Failure().reason);
        StopSteps();
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnStartRefused(m_lastFailure); });
        return;
    }
    // The path is shown escaped: a line break in a file name must not forge a log line.
    m_wiring.log.AppendFormat("Filename = '%s', Size = %" PRId64 " bytes\r\n",
                              EscapeName(state.m_strImagePath).c_str(), state.m_nImageSize);
    if (state.m_nImageSize > kImageReach) {
        m_wiring.log.AppendText(
            "Warning: the image is larger than 4 GiB; the box can ask for its first 4 GiB "
            "only.\r\n");
    }
    m_wiring.log.AppendText("Please connect serial port and turn on.....\r\n");
    // Told before the connection, so that its outcome is heard as part of this download.
    const DownloadStarted started = StartedEvent();
    m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnStarted(started); });
    ConnectSerialPort();
    // Running whatever the connection gave: the operator ends a failed start with Stop.
    DownloadState::s_bRunning = true;
    if (m_silenceBound.count() > 0) {
        m_wiring.state.m_tally.lastHeard = std::chrono::steady_clock::now();
        ArmSilenceTimer(m_silenceBound);
    }
}

void CDownloadControl::StopFor(const DownloadEnded& ended) {
    if (!DownloadState::s_bRunning) {
        return;
    }
    m_stopFor = ended;
    OnStartStop();
}

Result<void> CDownloadControl::OpenImage() {
    DownloadState& state = m_wiring.state;
    m_wrongImage = false;
    const ImageFile image = OpenImageFile(state.m_strImagePath);
    if (image.file == nullptr) {
        m_lastFailure = SysFailure{image.result, state.m_strImagePath, image.reason};
        return m_lastFailure;
    }
    state.m_pImageFile = image.file;
    state.m_nOffset = 0;
    state.m_nImageSize = image.size;
    if (!RememberImage()) {
        const int err = errno;
        m_lastFailure =
            SysFailure{SysResult::FromErrno("read", err), state.m_strImagePath, std::strerror(err)};
        return m_lastFailure;
    }
    if (!m_requiredSha256.empty() && state.m_imageSha256 != m_requiredSha256) {
        // Refused before the box asks for a byte: no box is given an image the line did not
        // ask for.
        m_wrongImage = true;
        m_lastFailure = SysFailure{
            SysResult{SysStatus::Rejected, "", 0}, state.m_strImagePath,
            "its SHA-256 is " + state.m_imageSha256 + ", not " + m_requiredSha256 + " as required"};
        state.CloseImage();
        return m_lastFailure;
    }
    return {};
}

bool CDownloadControl::RememberImage() {
    DownloadState& state = m_wiring.state;
    const int fd = fileno(state.m_pImageFile);
    const std::optional<ImageIdentity> identity = IdentityOfFile(fd);
    const FileDigest digest = Sha256OfFile(fd);
    if (!identity || digest.hex.empty()) {
        state.CloseImage();
        return false;
    }
    state.m_imageIdentity = *identity;
    state.m_imageSha256 = digest.hex;
    DownloadTally& tally = state.m_tally;
    tally.started = std::chrono::system_clock::now();
    tally.startedSteady = std::chrono::steady_clock::now();
    tally.lastHeard = tally.startedSteady;
    tally.heard = false;
    tally.framed = false;
    tally.console.Clear();
    m_toldNoRequest = false;
    m_toldSilent = false;
    tally.bytesSent = 0;
    tally.requests = 0;
    tally.coverage.Clear();
    tally.sentCoverage.Clear();
    tally.overlaySent.Clear();
    // A box's own data belongs to the box: each START is given its own, or none.
    state.m_overlay.reset();
    state.m_heldRequest.reset();
    state.m_startsHeld = 0;
    return true;
}

void CDownloadControl::SetSilenceBound(std::chrono::seconds bound, SilenceFrom from,
                                       SilenceAction action) {
    m_silenceBound = bound;
    m_silenceFrom = from;
    m_silenceAction = action;
}

void CDownloadControl::ArmSilenceTimer(std::chrono::milliseconds after) {
    const auto ms = std::max<std::chrono::milliseconds::rep>(after.count(), 1);
    m_wiring.owner.SetTimer(kSilenceTimerId,
                            static_cast<UINT>(std::min<decltype(ms)>(ms, UINT_MAX)));
}

void CDownloadControl::OnTimer(UINT_PTR id) {
    if (id != kSilenceTimerId) {
        return;
    }
    if (!DownloadState::s_bRunning || m_silenceBound.count() == 0) {
        m_wiring.owner.KillTimer(kSilenceTimerId);
        return;
    }
    // The timer was armed for the bound after the last byte then known; the box may have
    // spoken since, so the wait goes on for what is left.
    const DownloadTally& tally = m_wiring.state.m_tally;
    const auto now = std::chrono::steady_clock::now();
    // Before the first frame the time since START counts: console text is no request.
    const auto since = tally.framed ? tally.lastHeard : tally.startedSteady;
    if (now - since < m_silenceBound) {
        ArmSilenceTimer(
            std::chrono::ceil<std::chrono::milliseconds>(m_silenceBound - (now - since)));
        return;
    }
    if (!tally.framed) {
        OnNoFrameInTime();
        return;
    }
    if (m_silenceAction == SilenceAction::Tell) {
        if (!m_toldSilent) {
            m_toldSilent = true;
            m_wiring.observers.Tell(
                [&](DownloadObserver& o) { o.OnSilentTooLong(m_silenceBound); });
        }
        ArmSilenceTimer(m_silenceBound);
        return;
    }
    DownloadEnded ended;
    ended.reason = EndReason::BoxSilent;
    ended.silence = m_silenceBound;
    StopFor(ended);
}

void CDownloadControl::OnNoFrameInTime() {
    const DownloadTally& tally = m_wiring.state.m_tally;
    // Checked again once a bound later: the box may still begin.
    ArmSilenceTimer(m_silenceBound);
    const bool waitForBox =
        m_silenceFrom == SilenceFrom::FirstFrame || m_silenceAction == SilenceAction::Tell;
    if (tally.heard) {
        const std::string hint = NoRequestHint(tally.console.MostlyNotText());
        if (!m_toldNoRequest) {
            m_toldNoRequest = true;
            m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnNoRequest(hint); });
        }
        if (!waitForBox) {
            DownloadEnded ended;
            ended.reason = EndReason::BoxTalking;
            ended.failure = SysFailure(SysResult{SysStatus::TimedOut, "", 0}, "", hint);
            ended.silence = m_silenceBound;
            StopFor(ended);
        }
        return;
    }
    if (m_silenceFrom == SilenceFrom::FirstFrame) {
        return;  // no box yet: a line waits for the next one as long as it takes
    }
    if (m_silenceAction == SilenceAction::Tell) {
        if (!m_toldSilent) {
            m_toldSilent = true;
            m_wiring.observers.Tell(
                [&](DownloadObserver& o) { o.OnSilentTooLong(m_silenceBound); });
        }
        return;
    }
    DownloadEnded ended;
    ended.reason = EndReason::BoxSilent;
    ended.silence = m_silenceBound;
    StopFor(ended);
}

void CDownloadControl::StopSteps() {
    m_wiring.owner.KillTimer(kSilenceTimerId);
    m_wiring.btnStart.SetWindowText("Start");
    m_wiring.comboPort.EnableWindow(1);
    m_wiring.editPath.EnableWindow(1);
    m_wiring.btnBrowse.EnableWindow(1);
    m_wiring.link.Close();
}

LRESULT CDownloadControl::OnCommLost(WPARAM, LPARAM) {
    CSerialLink& link = m_wiring.link;
    // A lost link still holds its port but is no longer open. A report that finds the port
    // released (closed since) or open again (reconnected since) is stale.
    if (link.m_hPort == nullptr || link.m_bOpen) {
        return 0;
    }
    // A port whose writes stalled is still there, but the box at its end stopped reading: the
    // operator looks at the box, not at the cable.
    const bool stalled = link.m_hPort->IsStalled();
    m_lastFailure = link.LastFailure();
    const int port = CSerialLink::PortNumberFromName(link.m_strPortName);
    if (stalled) {
        m_wiring.log.AppendFormat("Connection COM%d: the box stopped reading!!!\r\n", port);
    } else {
        m_wiring.log.AppendFormat("Connection COM%d lost!!!\r\n", port);
    }
    if (DownloadState::s_bRunning) {
        DownloadEnded ended;
        ended.reason = stalled ? EndReason::BoxStalled : EndReason::PortLost;
        ended.failure = m_lastFailure;
        StopFor(ended);
        ShowConnectState(false);
    } else {
        link.Close();
        ShowConnectState(false);
        m_wiring.observers.Tell([&](DownloadObserver& o) { o.OnPortLostIdle(m_lastFailure); });
    }
    return 0;
}
