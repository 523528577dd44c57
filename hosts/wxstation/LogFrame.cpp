#include "hosts/wxstation/LogFrame.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <fstream>

#include "slot/SlotLogFiles.h"

namespace {

constexpr std::uintmax_t kShown = 1 << 20;

// The log's bytes are the box's console text: UTF-8 where it is, Latin-1 where it is not.
wxString Decoded(const std::string& bytes) {
    const wxString utf8 = wxString::FromUTF8(bytes.data(), bytes.size());
    return !utf8.empty() || bytes.empty() ? utf8
                                          : wxString(bytes.data(), wxConvISO8859_1, bytes.size());
}

}  // namespace

LogFrame::LogFrame(wxWindow* parent, std::string dir, std::string slot,
                   std::function<bool()> loading)
    : wxFrame(parent, wxID_ANY, wxString::FromUTF8("Log of slot " + slot), wxDefaultPosition,
              wxSize(820, 560)),
      m_dir(std::move(dir)),
      m_slot(std::move(slot)),
      m_loading(std::move(loading)),
      m_timer(this) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_text = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                            wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxTE_RICH2);
    m_text->SetFont(wxFontInfo(11).Family(wxFONTFAMILY_TELETYPE));
    column->Add(m_text, 1, wxEXPAND);
    auto* save = new wxButton(this, wxID_SAVE, "Save");
    column->Add(save, 0, wxALIGN_RIGHT | wxALL, 6);
    SetSizer(column);
    save->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Save(); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Follow(); });
    Follow();
    m_timer.Start(500);
}

void LogFrame::Follow() {
    const SlotLogs logs = SlotLogFiles(m_dir, m_slot);
    const std::optional<std::string> file = m_loading() && logs.inHand ? logs.inHand : logs.last;
    if (!file) {
        if (m_file.empty()) {
            m_text->ChangeValue("No box has been served on this slot yet.");
        }
        return;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(*file, error);
    // A box in hand's file is renamed at its verdict with the same bytes: it is followed on.
    const bool renamed = !m_file.empty() && m_file.find(".partial.log") != std::string::npos &&
                         file->find(".partial.log") == std::string::npos && size >= m_read;
    if (*file != m_file && !renamed) {
        m_text->Clear();
        m_read = size > kShown ? size - kShown : 0;
    }
    m_file = *file;
    if (error || size <= m_read) {
        return;
    }
    std::ifstream in(m_file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_read));
    std::string bytes(static_cast<std::size_t>(std::min<std::uintmax_t>(size - m_read, kShown)),
                      '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    m_read += bytes.size();
    m_text->AppendText(Decoded(bytes));
    SetTitle(wxString::FromUTF8("Log of slot " + m_slot + ": " +
                                std::filesystem::path(m_file).filename().string()));
}

void LogFrame::Save() {
    wxFileDialog dialog(this, "Save the log", "",
                        wxString::FromUTF8(std::filesystem::path(m_file).filename().string()),
                        "Log files (*.log)|*.log|All files (*)|*",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (m_file.empty() || dialog.ShowModal() != wxID_OK) {
        return;
    }
    std::error_code error;
    std::filesystem::copy_file(m_file, dialog.GetPath().ToStdString(wxConvFile),
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        wxMessageBox(wxString::FromUTF8("The log was not saved: " + error.message()), "Save",
                     wxOK | wxICON_ERROR, this);
    }
}
