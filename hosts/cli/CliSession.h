#pragma once

// One run of the main dialog for the command line: the chosen port selected at start-up, the
// image in the path field, debug ticked if asked, START pressed at once; the log copied to
// standard output and the progress to standard error; the run ends with the box's EXIT_APP (or,
// with --loop, START is pressed again for the next box), a lost port, a failed start or a signal.
// With --loop, a port that cannot be opened again between two boxes (taken by another program,
// or gone for a moment) is waited for: said once on standard error, tried every second.
//
// Threading rules: Run and everything else on the UI thread; OnSignal arrives there as a task.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "download/BoxVerdict.h"
#include "download/DownloadEvents.h"
#include "hosts/cli/UiDelay.h"

class BoxBook;
class CDialog;
class CMainDialog;
class CSerialLink;
class ConsoleLog;
class ConsoleHost;
class ConsoleScreen;
class ProgressLine;
class SlotFeed;
class WindowObserver;

// The exit statuses are BoxVerdict.h's table.
inline constexpr int kExitBoxFinished = kExitPass;

struct SessionConfig {
    int portNumber = 0;
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool loop = false;
    int count = 0;           // with loop: boxes before the run ends (0: until stopped)
    int timeoutSeconds = 0;  // the silence bound (0: none)
    bool quiet = false;      // no progress line
    // Where the log is written as well (opened by the caller); may be null.
    WindowObserver* logFile = nullptr;
    // Also follows the progress bar (a station's slot reports the figures); may be null.
    WindowObserver* progressObserver = nullptr;
    // The port was given as a device path: the window's stored port number is left alone.
    bool keepStoredPort = false;
    // Where each box's verdict and record go; may be null.
    BoxBook* book = nullptr;
    // Told where the slot stands (for the station's state on the broker); may be null.
    SlotFeed* slotFeed = nullptr;
    // Told of each download event after the session has acted on it (the demo starts its box).
    std::function<void(DownloadEvent)> onEvent;
};

class CliSession {
  public:
    explicit CliSession(SessionConfig config);
    ~CliSession();

    // Runs the dialog to its end; answers the exit status.
    int Run();
    // SIGINT or SIGTERM: stop the download as Stop would, then end with 128 + signo.
    void OnSignal(int signo);
    // Any thread (the signal watcher): ends a write that waits on a box that stopped reading.
    void AbortWrite();
    // Boxes that ended their download with EXIT_APP.
    int BoxesFinished() const { return m_boxes; }
    // Boxes judged, and of them failed.
    int BoxesJudged() const { return m_judged; }
    int BoxesFailed() const { return m_failed; }

    // The session running now, for the signal watcher; null outside Run.
    static CliSession* Current();

  private:
    void OnDialogCreated(CDialog& dialog);
    void Begin();
    void PressStart();
    void WaitForPort();
    void OnEvent(DownloadEvent event);
    // The box has ended `end`: its verdict, then the next box or the end of the run.
    void OnBoxEnded(BoxEnd end, const BoxEndDetail& detail = {});
    // Judges the box; false when its record could not be written.
    bool Judge(BoxEnd end, const BoxEndDetail& detail);
    void End(int status);
    void SetAbortableLink(CSerialLink* link);
    void ExplainPortFailure(BoxEnd end);

    SessionConfig m_config;
    CMainDialog* m_dialog = nullptr;
    std::unique_ptr<ConsoleScreen> m_screen;
    std::unique_ptr<ConsoleLog> m_log;
    std::unique_ptr<ProgressLine> m_progress;
    UiDelay m_retry;
    bool m_waitingForPort = false;
    bool m_starting = false;
    bool m_connectFailed = false;
    bool m_ended = false;
    int m_status = kExitBoxFinished;
    int m_boxes = 0;
    // The link a signal may cut short, while the dialog that owns it serves.
    std::mutex m_abortLock;
    CSerialLink* m_abortLink = nullptr;
    int m_judged = 0;
    int m_failed = 0;
};
