#pragma once

// The server side of the box's loader link. Runs on the UI thread, once per receive
// notification: it scans the receive ring buffer for one frame, echoes the console bytes it
// passes to the log, and answers the frame through the serial link.
//
// How it works: the watch thread fills the ring buffer and posts WM_COMM_RECEIVED; OnCommReceived
// reads at most one frame per notification (later frames wait for the next notification). A
// frame's bytes may still be arriving: every take waits up to a second for its byte, so a frame
// split across two batches is completed in the same scan. Every answer goes out before the log
// and the progress bar move; only the debug trace lines of a request come before it.
//
// Threading rules: UI thread only. The ring buffer's other side is the watch thread.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "download/SessionEvents.h"
#include "platform/base/Win32Types.h"

class CButton;
class CLogEdit;
class CSerialLink;
class CWnd;
struct DownloadState;

class CStbProtocol {
  public:
    struct Wiring {
        CSerialLink& link;
        CLogEdit& log;
        CWnd& progress;
        CButton& debugCheck;
        DownloadState& state;
        // EXIT_APP and a changed image end the download as the Stop button does, for their
        // reason.
        std::function<void(const DownloadEnded&)> stop;
        // Told of the box's first frame, each answered request and each time request.
        DownloadObservers& observers;
    };

    explicit CStbProtocol(Wiring wiring);

    // The clock of the time answer and where its two lines go (tests fix both; by default
    // standard output, written off this thread).
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }
    void SetTimeOutput(std::FILE* out) { m_timeOut = out; }

    LRESULT OnCommReceived(WPARAM wParam, LPARAM lParam);

    // 0 when a complete frame was read into command (and payload for STB_DATA_REQ), 1 when the
    // scan ended without one.
    int ReadStbFrame(BYTE* command, BYTE* payload);
    void SendStbFrame(BYTE command, const BYTE* payload, DWORD length);
    void SendStbTime();
    // Sends the block's bytes that the image holds; false, with nothing sent, when the image
    // is no longer the one START opened.
    bool SendImageBlock(DWORD offset, WORD length);
    // The box's own data has come (DownloadState::m_overlay): a data request held for it is
    // answered now.
    void AnswerHeldRequest();
    // Answers each START held while the download's start was gated (DownloadState).
    void AnswerHeldStarts();

  private:
    bool DebugMode();
    void AnswerFrame(BYTE command, const BYTE* payload);
    void OnDataRequest(const BYTE* payload);
    void OnExitApp();
    bool ImageUnchangedSinceStart();
    // Ends the download as Stop does, after a line that says why.
    void OnImageChanged();
    void EchoByte(BYTE byte);
    void SendPiecesOf(DWORD offset, std::size_t length);
    // Writes the overlay's bytes (a unit's region) over the block just read, where they meet.
    void PatchOverlay(DWORD offset, std::size_t length);

    // A byte the scan read, for the observers of the wire; `waited`: its read had to wait, so
    // it begins a new run.
    void NoteRead(BYTE byte, bool waited);

    // The console bytes echoed during the scan under way, told once it ends.
    std::string m_echoed;
    // The bytes the scan under way read, in runs that came without a wait, told once it ends.
    struct ReadRun {
        std::chrono::steady_clock::time_point when;
        std::string bytes;
    };
    std::vector<ReadRun> m_reads;
    Wiring m_wiring;
    std::function<std::time_t()> m_clock;
    std::FILE* m_timeOut = nullptr;
    std::vector<BYTE> m_block;
    // The bytes at the start of m_block that the port took whole, for the last data answer.
    std::size_t m_sentWhole = 0;
};
