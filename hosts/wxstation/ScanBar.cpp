#include "hosts/wxstation/ScanBar.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "hosts/wxstation/TilePanel.h"

namespace {

constexpr int kBarGap = 6;  // between the field and its neighbours

wxFont BarFont(bool bold) {
    wxFontInfo info(wxSize(0, 17));
    info.Family(wxFONTFAMILY_SWISS);
    if (bold) {
        info.Bold();
    }
    return wxFont(info);
}

}  // namespace

ScanBar::ScanBar(wxWindow* parent, std::function<void(const std::string&)> scanned)
    : wxPanel(parent), m_scanned(std::move(scanned)) {
    auto* line = new wxBoxSizer(wxHORIZONTAL);
    auto* title = new wxStaticText(this, wxID_ANY, "Scan");
    title->SetFont(BarFont(true));
    line->Add(title, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kBarGap);
    // No length limit: a scan cut short here would be taken as another box's id, where the
    // station refuses an over-long one whole.
    m_field =
        new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(320, -1), wxTE_PROCESS_ENTER);
    m_field->SetFont(BarFont(false));
    m_field->SetToolTip("A scanner types each box's label here, then Enter");
    m_field->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Entered(); });
    line->Add(m_field, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kBarGap);
    m_band = new wxPanel(this);
    auto* inBand = new wxBoxSizer(wxHORIZONTAL);
    m_news = new wxStaticText(m_band, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                              wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    m_news->SetFont(BarFont(false));
    inBand->Add(m_news, 1, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, kBarGap);
    m_band->SetSizer(inBand);
    line->Add(m_band, 1, wxEXPAND);
    SetSizer(line);
}

void ScanBar::Entered() {
    const std::string scan = m_field->GetValue().utf8_string();
    m_field->ChangeValue("");
    m_scanned(scan);
}

void ScanBar::ShowNews(const ScanNews& news) {
    m_refusal = news.refused;
    // A refusal has its sign as well as its tone, so that colour is not the only sign.
    const wxString text = wxString::FromUTF8((news.refused ? "\u26A0 " : "") + news.text);
    // As text, not a label: an '&' scanned is shown, not taken for a mnemonic.
    m_news->SetLabelText(text);
    m_news->SetToolTip(text);
    m_news->SetFont(BarFont(news.refused));
    // An accepted scan on the header's own ground, in its own ink.
    m_band->SetBackgroundColour(news.refused ? ToneFill(SlotTone::Warn) : wxNullColour);
    m_news->SetForegroundColour(news.refused ? ToneInk(SlotTone::Warn) : wxNullColour);
    m_band->Refresh();
}

void ScanBar::FocusField() {
    m_field->SetFocus();
}

bool ScanBar::IsField(const wxWindow* window) const {
    return window == m_field;
}
