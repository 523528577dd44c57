#pragma once

// The desktop station's window: a header with the job, its image and hash, the operator and the
// shift's totals; one tile per slot in a grid that follows the window's size; Start, Stop gently
// and Stop now, which do what the command line's signals do; and the station's notes. A tile's
// click opens the slot's log as it grows. Under a job that requires each box's scan, the header
// has the scan field (ScanBar.h), which keeps the keyboard: whatever else takes the focus (a
// click on a button or a tile, a context menu) gives it back, so that a scanner's text and its
// Enter never land on a button.
//
// Threading rules: the window's thread only; the supervisor's news arrives through CallAfter.

#include <wx/frame.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "hosts/wxstation/ScanBar.h"
#include "hosts/wxstation/StationBroker.h"
#include "hosts/wxstation/StationSetup.h"
#include "hosts/wxstation/TilePanel.h"
#include "power/PowerSwitchboard.h"
#include "station/StationRun.h"

class wxButton;
class wxCheckBox;
class wxListBox;
class wxPanel;
class wxStaticText;
class wxTextCtrl;

class StationFrame : public wxFrame, public StationRun::Listener {
  public:
    // `boxesPerSlot`: each slot ends after that many boxes; 0 serves until stopped.
    StationFrame(StationSetup setup, const std::optional<std::string>& operatorName,
                 int boxesPerSlot = 0);
    ~StationFrame() override;

    void Start();
    void FinishGently();
    void StopNow();

    bool Running() const { return m_run != nullptr; }
    const std::vector<TilePanel*>& Tiles() const { return m_tiles; }
    // How the last run ended; nothing before one has.
    const std::optional<StationEnd>& LastEnd() const { return m_lastEnd; }
    const wxStaticText& Totals() const { return *m_totals; }
    // The scan field and its line; nothing unless the job requires scans.
    const ScanBar* Scans() const { return m_scanBar; }
    // The event list, each line with its local time.
    const wxListBox& Notes() const { return *m_notes; }
    // The sound on a failed box or a slot taken out: on unless the operator muted it (kept in
    // the settings).
    void SetSound(bool on);
    bool SoundOn() const { return m_soundOn; }
    // How often the sound was made.
    int Alarms() const { return m_alarms; }

    // The supervisor's news, on the window's thread.
    void OnSlot(const SlotStatus& status) override;
    void OnRecord(const std::string& slot, const std::string& recordLine) override;
    void OnMessage(const std::string& text) override;
    void OnEnded(const StationEnd& end) override;
    void OnScan(const ScanNews& news) override;

  private:
    wxPanel* MakeHeader(wxWindow* parent);
    // An operator's scan, as typed: to the station while it runs.
    void Scan(const std::string& text);
    // Brings the keyboard back to the scan field once the event that took it has been served.
    void KeepScanFocus();
    void LayoutTiles();
    void ShowTotals();
    void ShowButtons();
    void Note(const std::string& text);
    // Someone must come: the desktop's own alert sound, unless muted.
    void Alarm();
    void OpenLog(const std::string& slot);
    void SlotMenu(const std::string& slot);
    // Runs `call` on the window's thread while the window lives (from any thread).
    void PostToSelf(std::function<void()> call);

    StationSetup m_setup;
    int m_boxesPerSlot = 0;
    StationBroker m_broker;  // before the run: it outlives the supervisor that tells it
    std::unique_ptr<PowerSwitchboard> m_switches;  // the same: the supervisor drives them
    std::unique_ptr<StationRun> m_run;
    std::optional<StationEnd> m_lastEnd;
    std::map<std::string, SlotStatus> m_statuses;  // each slot's last news
    int m_passed = 0;
    int m_failed = 0;
    int m_aborted = 0;
    int m_firstPassed = 0;  // of the passes, boxes that passed at their first attempt
    double m_seconds = 0;

    wxPanel* m_grid = nullptr;
    std::vector<TilePanel*> m_tiles;
    wxTextCtrl* m_operator = nullptr;
    wxStaticText* m_totals = nullptr;
    ScanBar* m_scanBar = nullptr;
    wxButton* m_start = nullptr;
    wxButton* m_finish = nullptr;
    wxButton* m_stop = nullptr;
    wxCheckBox* m_sound = nullptr;
    bool m_soundOn = true;
    int m_alarms = 0;
    wxListBox* m_notes = nullptr;
    const std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};
