#pragma once

// Turns the operator's actions into the state the protocol serves from: connects the chosen
// port, starts a download (image opened and sized, controls locked, port reconnected) and stops
// it (image closed, controls released, port closed).
//
// Two states: Idle (no image open) and Running (image open, START reads "Stop"). EXIT_APP from the
// box, a lost port, a box that stopped reading, a changed image and a silent box all end Running
// as the Stop button does.
//
// Threading rules: UI thread only.

#include <chrono>
#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "platform/base/Result.h"
#include "platform/base/SysResult.h"
#include "platform/base/Win32Types.h"

class CButton;
class CComboBox;
class CEdit;
class CIniFile;
class CLogEdit;
class CSerialLink;
class CStatic;
class CWnd;
struct DownloadState;

class CDownloadControl {
  public:
    struct Wiring {
        CWnd& owner;  // receives the link's notifications
        CSerialLink& link;
        CIniFile& ini;
        CLogEdit& log;
        CWnd& progress;
        CComboBox& comboPort;
        CEdit& editPath;
        CButton& btnBrowse;
        CButton& btnStart;
        CStatic& lampGreen;
        CStatic& lampRed;
        DownloadState& state;
        DownloadObservers& observers;
    };

    explicit CDownloadControl(Wiring wiring);

    void ShowConnectState(bool connected);
    void ConnectSerialPort();
    void OnStartStop();
    // Ends a running download as Stop does, for `ended`'s reason (EXIT_APP, a changed image,
    // a port that would not open); without a download nothing happens.
    void StopFor(const DownloadEnded& ended);
    // The link reports its port gone (cable pulled, adapter unplugged) or its writes stalled
    // (the box stopped reading).
    LRESULT OnCommLost(WPARAM wParam, LPARAM lParam);

    // For a run given a device path: a successful connection no longer stores the port number,
    // which is the desktop window's choice.
    void KeepStoredPort() { m_storePort = false; }

    // Why the last start, connection or download failed: the device or image path and the
    // system's reason. Kept until the next failure replaces it.
    const SysFailure& LastFailure() const { return m_lastFailure; }

    // Where the silence bound counts from: START, or the box's first frame (a production line
    // waits for the next box as long as it takes, and a box that passed and still prints is not
    // a new one).
    enum class SilenceFrom { Start, FirstFrame };
    // What the bound does when it runs out: end the download as Stop does, or only tell the
    // observers (the window keeps a download running until the operator stops it).
    enum class SilenceAction { Stop, Tell };
    // The silence bound. Before the box's first frame it bounds the time since START: a box
    // that talked but asked for nothing is EndReason::BoxTalking (with SilenceFrom::FirstFrame
    // it is only told, OnNoRequest), one that sent nothing BoxSilent. After the first frame any
    // byte from the box, or an answer still on the wire, starts it again; `bound` of nothing
    // is BoxSilent. Zero (the default) waits for ever, as the operator decides.
    void SetSilenceBound(std::chrono::seconds bound, SilenceFrom from = SilenceFrom::Start,
                         SilenceAction action = SilenceAction::Stop);
    std::chrono::seconds SilenceBound() const { return m_silenceBound; }
    // A line that serves one image only: START refuses an image whose SHA-256 is not `hex`
    // (64 lower-case hex digits; empty: any image), with both hashes, and WrongImage() says so.
    void RequireImageSha256(std::string hex) { m_requiredSha256 = std::move(hex); }
    bool WrongImage() const { return m_wrongImage; }
    // The line's rate for the next connection (115200 unless a run asks for another; the box's
    // loader must have been built for it). A rate the port refuses fails the connection with
    // the system's reason.
    void SetLineBaud(DWORD baud);
    // A box that ends with EXIT_APP but was not sent every byte of the image fails
    // (EndReason::ImageNotWhole).
    void RequireWholeImage(bool whole);
    // The owner's WM_TIMER: the silence bound is kept with one of the owner's timers.
    void OnTimer(UINT_PTR id);

  private:
    void StopSteps();
    // False with the system's reason when the image cannot be served.
    Result<void> OpenImage();
    // What START saw of the open image (identity, SHA-256) and a fresh tally; false when the
    // image cannot be read to its end.
    bool RememberImage();
    void ArmSilenceTimer(std::chrono::milliseconds after);
    // The bound ran out before the box's first frame.
    void OnNoFrameInTime();
    DownloadStarted StartedEvent() const;

    Wiring m_wiring;
    std::string m_requiredSha256;
    bool m_wrongImage = false;
    std::chrono::seconds m_silenceBound{0};
    SilenceFrom m_silenceFrom = SilenceFrom::Start;
    SilenceAction m_silenceAction = SilenceAction::Stop;
    bool m_toldNoRequest = false;  // this download's OnNoRequest has been told
    bool m_toldSilent = false;     // ... and its OnSilentTooLong
    SysFailure m_lastFailure;
    // Why the running download is being stopped, when it is not the operator's Stop.
    std::optional<DownloadEnded> m_stopFor;
    bool m_storePort = true;
};
