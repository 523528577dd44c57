#pragma once

// A host for windows without a toolkit, installed for its lifetime: a manual clock (timers fire
// only in Advance), a software raster per window, message boxes, beeps and file dialogs recorded
// (file dialogs answered from a queue), and dialogs run step by step or modally with a driver.
//
// Threading rules: the test's thread is the UI thread; other threads reach the host only through
// MessageQueue::Ui(), which Pump and PumpUntil run.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/DC.h"
#include "platform/host/Host.h"
#include "platform/window/Dialog.h"
#include "platform/window/TimerTable.h"
#include "tests/support/raster/RasterDevice.h"

struct RecordedMessageBox {
    std::string text;
    std::string caption;
    UINT type = 0;
};

struct RecordedBeep {
    DWORD frequencyHz = 0;
    DWORD durationMs = 0;
};

class TestHost : public Host {
  public:
    // Called when a modal dialog's queue is idle and it has not ended. Answer false to give up:
    // the dialog then ends with IDCANCEL, so a test can never hang in RunModal.
    using ModalDriver = std::function<bool(CDialog&)>;

    TestHost();
    ~TestHost() override;
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // --- Host ---
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void Beep(DWORD frequencyHz, DWORD durationMs) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    int RunModal(CDialog& dialog) override;
    void SetTimer(HWND hwnd, UINT_PTR id, UINT periodMs) override;
    void KillTimer(HWND hwnd, UINT_PTR id) override;
    std::unique_ptr<DeviceContext> BeginPaint(HWND hwnd) override;
    COLORREF GetSysColor(int index) override;

    // --- Recorded effects and chosen answers ---
    const std::vector<RecordedMessageBox>& MessageBoxes() const { return m_messageBoxes; }
    const std::vector<RecordedBeep>& Beeps() const { return m_beeps; }
    const std::vector<FileDialogRequest>& FileDialogRequests() const { return m_fileRequests; }
    // Answers for the next file dialogs, in order; nothing (cancel) when the queue is empty.
    void QueueFileDialogAnswer(std::optional<std::string> path);

    // --- Clock and timers ---
    // Moves the clock on by `ms`, tick by tick, firing every timer when it falls due.
    void Advance(std::chrono::milliseconds ms);
    bool IsTimerSet(HWND hwnd, UINT_PTR id) const { return m_timers.IsSet(hwnd, id); }

    // --- Painting ---
    // The window's surface, or null before its first paint.
    RasterDevice* Surface(HWND hwnd);

    // --- Dialogs step by step ---
    // Makes the dialog's windows and initialises it, as RunModal does before its loop.
    bool Start(CDialog& dialog, DialogBaseUnits units = {});
    // Runs everything now waiting in the UI queue (and what that posts), through the innermost
    // running dialog when there is one. Answers how many items ran.
    int Pump();
    // Pumps, waiting for other threads' posts, until `done` answers true or `limit` passes.
    // The limit only keeps a broken test from hanging; answers done().
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(10));
    void SetModalDriver(ModalDriver driver) { m_driver = std::move(driver); }

  private:
    void RunItem(MessageQueue::Item& item);

    std::vector<RecordedMessageBox> m_messageBoxes;
    std::vector<RecordedBeep> m_beeps;
    std::vector<FileDialogRequest> m_fileRequests;
    std::vector<std::optional<std::string>> m_fileAnswers;
    TimerTable m_timers;
    TimerTable::Time m_now{0};
    std::map<HWND, std::unique_ptr<RasterDevice>> m_surfaces;
    ModalDriver m_driver;
    // Handles, not pointers: a started dialog may be destroyed by the test at any time.
    std::vector<HWND> m_running;
};
