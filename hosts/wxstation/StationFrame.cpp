#include "hosts/wxstation/StationFrame.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <cmath>
#include <ctime>
#include <filesystem>

#include "hosts/wx/UiCalls.h"
#include "hosts/wxstation/LogFrame.h"
#include "job/JobPlan.h"
#include "platform/base/LocalClock.h"
#include "record/BoxRecordCodec.h"
#include "station/Alarm.h"
#include "station/SlotLook.h"

namespace {

constexpr int kMaxNotes = 200;   // the notes list keeps the last ones only
constexpr int kGap = 6;          // between tiles
constexpr double kAspect = 1.8;  // a tile's width over its height, where the window allows

wxString Text(const std::string& utf8) {
    return wxString::FromUTF8(utf8);
}

wxFont HeaderFont(int pixels, bool bold) {
    wxFontInfo info(wxSize(0, pixels));
    info.Family(wxFONTFAMILY_SWISS);
    if (bold) {
        info.Bold();
    }
    return wxFont(info);
}

}  // namespace

StationFrame::StationFrame(StationSetup setup, const std::optional<std::string>& operatorName,
                           int boxesPerSlot)
    : wxFrame(nullptr, wxID_ANY, "Stavel Station", wxDefaultPosition, wxSize(1280, 800)),
      m_setup(std::move(setup)),
      m_boxesPerSlot(boxesPerSlot) {
    auto* root = new wxPanel(this);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(MakeHeader(root), 0, wxEXPAND | wxALL, kGap);
    m_grid = new wxPanel(root);
    for (const JobSlot& slot : m_setup.job.slots) {
        auto* tile = new TilePanel(m_grid, slot.label, m_setup.job.scan.required);
        tile->OnClick([this, label = slot.label] {
            // A slot taken out goes back into service from its tile; any other shows its log.
            const auto status = m_statuses.find(label);
            if (m_run && status != m_statuses.end() &&
                status->second.state == SlotState::TakenOut) {
                m_run->PutBack(label);
                return;
            }
            OpenLog(label);
        });
        tile->OnMenu([this, label = slot.label] { SlotMenu(label); });
        m_tiles.push_back(tile);
    }
    m_grid->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        LayoutTiles();
        event.Skip();
    });
    column->Add(m_grid, 1, wxEXPAND | wxLEFT | wxRIGHT, kGap);
    m_notes = new wxListBox(root, wxID_ANY, wxDefaultPosition, wxSize(-1, 70));
    column->Add(m_notes, 0, wxEXPAND | wxALL, kGap);
    root->SetSizer(column);
    if (operatorName) {
        m_operator->SetValue(Text(*operatorName));
    }
    ShowTotals();
    ShowButtons();
    if (m_scanBar != nullptr) {
        Bind(wxEVT_CHILD_FOCUS, [this](wxChildFocusEvent& event) {
            KeepScanFocus();
            event.Skip();
        });
        // Once the window is shown and its loop runs.
        PostToSelf([this] { m_scanBar->FocusField(); });
    }
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        m_run.reset();  // the boxes in flight stop now, each with its record
        m_broker = {};
        event.Skip();
    });
}

StationFrame::~StationFrame() = default;

void StationFrame::PostToSelf(std::function<void()> call) {
    // The window may be gone by the time the call is served: the token says whether it still is.
    CallOnUiThread([alive = std::weak_ptr<const bool>(m_alive), call = std::move(call)] {
        if (alive.lock()) {
            call();
        }
    });
}

wxPanel* StationFrame::MakeHeader(wxWindow* parent) {
    auto* header = new wxPanel(parent);
    auto* rows = new wxBoxSizer(wxVERTICAL);
    const Job& job = m_setup.job;
    auto* title = new wxStaticText(
        header, wxID_ANY,
        Text(job.name.empty() ? "Station of " + std::to_string(job.slots.size()) + " slots"
                              : "Job " + job.name +
                                    (job.station ? ", station " + *job.station : std::string())));
    title->SetFont(HeaderFont(26, true));
    rows->Add(title);
    const std::string hash = m_setup.imageSha256.empty()
                                 ? "cannot be read"
                                 : "sha256 " + m_setup.imageSha256.substr(0, 12) + "…";
    const bool wrong = !job.sha256.empty() && job.sha256 != m_setup.imageSha256;
    auto* image =
        new wxStaticText(header, wxID_ANY,
                         Text("Image " + std::filesystem::path(job.image).filename().string() +
                              ", " + hash + (wrong ? "  NOT THE JOB'S IMAGE" : "")));
    image->SetFont(HeaderFont(17, wrong));
    if (wrong) {
        image->SetForegroundColour(ToneFill(SlotTone::Fail));
    }
    rows->Add(image, 0, wxTOP, 2);

    auto* line = new wxBoxSizer(wxHORIZONTAL);
    auto* who = new wxStaticText(header, wxID_ANY, "Operator");
    who->SetFont(HeaderFont(17, false));
    line->Add(who, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kGap);
    m_operator = new wxTextCtrl(header, wxID_ANY, "", wxDefaultPosition, wxSize(160, -1));
    line->Add(m_operator, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 3 * kGap);
    m_totals = new wxStaticText(header, wxID_ANY, "");
    m_totals->SetFont(HeaderFont(19, true));
    line->Add(m_totals, 1, wxALIGN_CENTER_VERTICAL);
    m_start = new wxButton(header, wxID_ANY, "Start");
    m_finish = new wxButton(header, wxID_ANY, "Stop gently");
    m_stop = new wxButton(header, wxID_ANY, "Stop now");
    for (wxButton* button : {m_start, m_finish, m_stop}) {
        button->SetFont(HeaderFont(17, true));
        line->Add(button, 0, wxLEFT, kGap);
    }
    m_sound = new wxCheckBox(header, wxID_ANY, "Sound");
    m_sound->SetFont(HeaderFont(17, false));
    m_sound->SetValue(m_soundOn);
    m_sound->SetToolTip("A sound when a box fails or a slot is taken out");
    m_sound->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) { m_soundOn = event.IsChecked(); });
    line->Add(m_sound, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, kGap);
    m_start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Start(); });
    m_finish->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { FinishGently(); });
    m_stop->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { StopNow(); });
    rows->Add(line, 0, wxEXPAND | wxTOP, kGap);
    if (job.scan.required) {
        m_scanBar = new ScanBar(header, [this](const std::string& text) { Scan(text); });
        rows->Add(m_scanBar, 0, wxEXPAND | wxTOP, kGap);
    }
    header->SetSizer(rows);
    return header;
}

void StationFrame::Scan(const std::string& text) {
    if (!m_run) {
        OnScan(ScanNews{true, {}, "scan refused: the station is not running; press Start"});
        return;
    }
    m_run->Scan(text);
}

void StationFrame::KeepScanFocus() {
    wxWindow* focus = FindFocus();
    // A window of its own (a slot's log) keeps its keyboard while the operator reads it.
    if (m_scanBar == nullptr || focus == nullptr || wxGetTopLevelParent(focus) != this ||
        m_scanBar->IsField(focus) || (focus == m_operator && m_operator->IsEnabled())) {
        return;
    }
    // Not at once: the click or the key that moved the focus is still being served.
    PostToSelf([this] { m_scanBar->FocusField(); });
}

// As many columns as give the tiles the most room at their shape.
void StationFrame::LayoutTiles() {
    const wxSize area = m_grid->GetClientSize();
    const int n = static_cast<int>(m_tiles.size());
    if (n == 0 || area.GetWidth() <= 0 || area.GetHeight() <= 0) {
        return;
    }
    int bestColumns = 1;
    double bestScale = 0;
    for (int columns = 1; columns <= n; ++columns) {
        const int rows = (n + columns - 1) / columns;
        const double w = static_cast<double>(area.GetWidth()) / columns;
        const double h = static_cast<double>(area.GetHeight()) / rows;
        const double scale = std::min(w / kAspect, h);
        if (scale > bestScale) {
            bestScale = scale;
            bestColumns = columns;
        }
    }
    const int rows = (n + bestColumns - 1) / bestColumns;
    const int w = (area.GetWidth() - (bestColumns - 1) * kGap) / bestColumns;
    const int h = (area.GetHeight() - (rows - 1) * kGap) / rows;
    for (int i = 0; i < n; ++i) {
        m_tiles[i]->SetSize((i % bestColumns) * (w + kGap), (i / bestColumns) * (h + kGap), w, h);
    }
}

void StationFrame::Start() {
    if (m_run) {
        return;
    }
    if (!m_setup.job.sha256.empty()) {
        // A wrong image is refused before any box, as on the command line.
        if (const Result<void> same = CheckImageSha256(m_setup.job.image, m_setup.job.sha256);
            !same) {
            Note(same.Failure().Describe());
            return;
        }
    }
    const std::string who = m_operator->GetValue().ToStdString(wxConvUTF8);
    StationConfig config =
        ConfigFor(m_setup, who.empty() ? std::nullopt : std::optional(who), m_boxesPerSlot);
    Result<StationBroker> broker = ConnectBroker(m_setup, config, [this](const std::string& line) {
        // From the publisher's thread.
        PostToSelf([this, line] { Note(line); });
    });
    if (!broker) {
        Note(broker.Failure().Describe());
        return;
    }
    m_broker = std::move(*broker);
    m_lastEnd.reset();
    m_switches.reset();
    if (config.power && !config.power->BySlot()) {
        std::vector<SlotSwitch> outlets;
        for (const JobSlot& slot : m_setup.job.slots) {
            outlets.push_back(slot.power.value_or(SlotSwitch{}));
        }
        m_switches = std::make_unique<PowerSwitchboard>(*config.power, outlets, config.labels);
        config.switches = m_switches.get();
    }
    m_run = std::make_unique<StationRun>(
        std::move(config), *this,
        [](std::function<void()> call) { CallOnUiThread(std::move(call)); }, m_broker.news.get());
    Note("started");
    ShowButtons();
    if (m_scanBar != nullptr) {
        m_scanBar->FocusField();
    }
}

void StationFrame::FinishGently() {
    if (m_run) {
        m_run->Finish();
    }
}

void StationFrame::StopNow() {
    if (m_run) {
        m_run->StopNow();
    }
}

void StationFrame::OnSlot(const SlotStatus& status) {
    // A slot taken out for its failures needs someone at its fixture, as a failed box does; one
    // an operator took out does not.
    const auto known = m_statuses.find(status.slot);
    if (AlarmFor(known == m_statuses.end() ? std::nullopt : std::optional(known->second.state),
                 status)) {
        Alarm();
    }
    m_statuses[status.slot] = status;
    for (TilePanel* tile : m_tiles) {
        if (tile->Label() == status.slot) {
            tile->Show(status);
        }
    }
}

void StationFrame::OnRecord(const std::string&, const std::string& recordLine) {
    const std::optional<BoxRecord> record = ParseBoxRecord(recordLine);
    m_seconds += record ? record->seconds : 0;
    if (!record || !record->final) {
        return;  // an attempt that was tried again: its box counts by its final attempt
    }
    switch (record->result) {
        case BoxResult::Pass:
            ++m_passed;
            m_firstPassed += record->attempt == 1 ? 1 : 0;
            break;
        case BoxResult::Fail:
            ++m_failed;
            if (AlarmFor(*record)) {
                Alarm();
            }
            break;
        case BoxResult::Aborted:
            ++m_aborted;
            break;
    }
    ShowTotals();
}

void StationFrame::OnMessage(const std::string& text) {
    Note(text);
}

void StationFrame::OnScan(const ScanNews& news) {
    if (m_scanBar != nullptr) {
        m_scanBar->ShowNews(news);
    }
    Note(news.text);
}

void StationFrame::OnEnded(const StationEnd& end) {
    m_run.reset();
    m_broker = {};
    m_lastEnd = end;
    Note(end.wrongImage         ? "ended: the image is not the job's"
         : end.recordNotWritten ? "ended: a record or log could not be written"
         : end.unservable       ? "ended: a slot could not serve"
         : end.allTakenOut      ? "ended: every slot was taken out: check the fixtures"
                                : "ended");
    ShowButtons();
}

void StationFrame::ShowTotals() {
    const int boxes = m_passed + m_failed + m_aborted;
    std::string text =
        std::to_string(m_passed) + " passed, " + std::to_string(m_failed) + " failed";
    if (m_aborted > 0) {
        text += ", " + std::to_string(m_aborted) + " aborted";
    }
    if (boxes > 0) {
        // Aborted boxes alone judge nothing: no yield, rather than a yield of 0 %.
        const std::optional<double> yield = YieldOf(m_passed, m_failed);
        const std::optional<double> first = FirstPassYieldOf(m_firstPassed, m_passed, m_failed);
        const auto percent = [](const std::optional<double>& share) {
            return share ? std::to_string(static_cast<int>(std::lround(100.0 * *share))) + " %"
                         : std::string("\u2013");
        };
        text += ", yield " + percent(yield) + ", first pass " + percent(first);
    }
    if (boxes > 0) {
        char mean[32];
        std::snprintf(mean, sizeof mean, ", %.1f s per box", m_seconds / boxes);
        text += mean;
    }
    m_totals->SetLabel(Text(text));
}

void StationFrame::ShowButtons() {
    m_start->Enable(!m_run);
    m_finish->Enable(m_run != nullptr);
    m_stop->Enable(m_run != nullptr);
    m_operator->Enable(!m_run);
}

void StationFrame::Note(const std::string& text) {
    if (m_notes->GetCount() >= kMaxNotes) {
        m_notes->Delete(0);
    }
    // The operator reads the list later, as a log: each line says when.
    m_notes->Append(Text(LocalClock(std::time(nullptr)) + "  " + text));
    m_notes->SetSelection(static_cast<int>(m_notes->GetCount()) - 1);
}

void StationFrame::SetSound(bool on) {
    m_soundOn = on;
    m_sound->SetValue(on);
}

void StationFrame::Alarm() {
    if (m_soundOn) {
        ++m_alarms;
        wxBell();
    }
}

// The same actions as the station's control socket's take-out and put-back.
void StationFrame::SlotMenu(const std::string& slot) {
    const auto status = m_statuses.find(slot);
    const bool out = status != m_statuses.end() && status->second.state == SlotState::TakenOut;
    wxMenu menu;
    enum { kTakeOut = 1, kPutBack, kReprint, kLog };
    menu.Append(kTakeOut, "Take out of service (the box in hand finishes)")->Enable(m_run && !out);
    menu.Append(kPutBack, "Put back into service")->Enable(m_run && out);
    if (m_setup.job.labelZpl) {
        // The last box that passed here: its label was lost, spoiled or not printed.
        menu.Append(kReprint, "Print label again")->Enable(m_run != nullptr);
    }
    menu.AppendSeparator();
    menu.Append(kLog, "Show its log");
    switch (GetPopupMenuSelectionFromUser(menu)) {
        case kTakeOut:
            if (m_run) {
                m_run->TakeOut(slot);
            }
            break;
        case kPutBack:
            if (m_run) {
                m_run->PutBack(slot);
            }
            break;
        case kReprint:
            if (m_run) {
                m_run->Reprint(slot);
            }
            break;
        case kLog:
            OpenLog(slot);
            break;
        default:
            break;
    }
    if (m_scanBar != nullptr) {
        m_scanBar->FocusField();  // the menu had the keyboard while it was open
    }
}

void StationFrame::OpenLog(const std::string& slot) {
    (new LogFrame(this, m_setup.logDir, slot, [this, slot] {
        const auto known = m_statuses.find(slot);
        return known != m_statuses.end() && (known->second.state == SlotState::Loading ||
                                             known->second.state == SlotState::BoxTalking ||
                                             known->second.state == SlotState::Stopping);
    }))->Show();
}
