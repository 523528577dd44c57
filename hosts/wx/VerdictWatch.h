#pragma once

// What the window says about the box, in words beside the lamp, as the slot's session tells it:
// PASS, FAIL or ABORTED with the verdict line the command line prints, once a box's session has
// ended; and between verdicts, what the operator must know: a port that would not open while the
// download waits on it ("port not open: REASON; press Stop"), a port that went away, an image
// that could not be read, a box silent for the silence bound ("box silent for 2 min: press
// Stop") or one that talks but asks for nothing. Those are states, not verdicts: no FAIL shows
// next to a Stop button.
//
// Threading rules: UI thread only.

#include <functional>
#include <string>

#include "download/BoxSession.h"

class CMainDialog;

struct VerdictShown {
    // Note: a state in words, without a verdict.
    enum class Kind { None, Pass, Fail, Aborted, Note };
    Kind kind = Kind::None;
    std::string word;    // "PASS", "FAIL", "ABORTED" or ""
    std::string detail;  // the verdict line, or the reason and what to do
};

class VerdictWatch final : private DownloadObserver, private BoxSession::Sink {
  public:
    using Show = std::function<void(const VerdictShown&)>;
    VerdictWatch(CMainDialog& dialog, Show show);
    ~VerdictWatch() override;
    VerdictWatch(const VerdictWatch&) = delete;
    VerdictWatch& operator=(const VerdictWatch&) = delete;

    const VerdictShown& Shown() const { return m_shown; }

  private:
    // DownloadObserver: what the session does not judge.
    void OnStarted(const DownloadStarted& started) override;
    void OnStartRefused(const SysFailure& failure) override;
    void OnConnectFailed(const SysFailure& failure) override;
    void OnPortLostIdle(const SysFailure& failure) override;
    // The silence bound ran out: a state until the box speaks again or the operator stops.
    void OnNoRequest(const std::string& hint) override;
    void OnSilentTooLong(std::chrono::seconds silence) override;
    void OnFirstFrame() override;
    void OnRequestAnswered(const RequestAnswered& request) override;
    // BoxSession::Sink
    void OnSessionEnded(const SessionEnd& end) override;

    void Set(VerdictShown shown);

    CMainDialog& m_dialog;
    Show m_show;
    VerdictShown m_shown;
    BoxSession m_session;
    std::string m_portLabel;   // "COM7 (/dev/ttyUSB3)", from the last START
    bool m_waitNoted = false;  // a silent or talking box is shown; the next request clears it
};

// The words for a port that would not open: "<device>: <reason>. <what to do>".
std::string PortFailureWords(const SysFailure& failure);
