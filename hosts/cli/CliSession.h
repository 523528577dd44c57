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

#include "download/DownloadEvents.h"
#include "hosts/cli/UiDelay.h"

class CDialog;
class CMainDialog;
class CSerialLink;
class ConsoleLog;
class ConsoleHost;
class ConsoleScreen;
class ProgressLine;

// Exit statuses of `stavel`.
inline constexpr int kExitBoxFinished = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortFailed = 3;
inline constexpr int kExitPortLost = 4;
inline constexpr int kExitBoxStalled = 5;

struct SessionConfig {
    int portNumber = 0;
    std::string image;
    std::optional<std::string> ini;
    bool debug = false;
    bool loop = false;
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

    // The session running now, for the signal watcher; null outside Run.
    static CliSession* Current();

  private:
    void OnDialogCreated(CDialog& dialog);
    void Begin();
    void PressStart();
    void WaitForPort();
    void OnEvent(DownloadEvent event);
    void End(int status);
    void SetAbortableLink(CSerialLink* link);

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
};
