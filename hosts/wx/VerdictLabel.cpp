#include "hosts/wx/VerdictLabel.h"

#include <wx/panel.h>
#include <wx/stattext.h>

#include "hosts/wx/WxFonts.h"

namespace {

const wxColour kPassBack(0, 100, 30);
const wxColour kFailBack(170, 0, 0);
const wxColour kAbortBack(150, 90, 0);

}  // namespace

VerdictLabel::VerdictLabel(wxWindow* parent)
    : m_panel(new wxPanel(parent, wxID_ANY)),
      m_word(new wxStaticText(m_panel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                              wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE)),
      m_detail(new wxStaticText(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                wxST_ELLIPSIZE_END | wxST_NO_AUTORESIZE)) {
    m_word->SetForegroundColour(*wxWHITE);
    m_panel->Hide();
    m_detail->Hide();
}

void VerdictLabel::Show(const VerdictShown& shown) {
    if (shown.kind == VerdictShown::Kind::None) {
        m_panel->Hide();
        m_detail->Hide();
        m_detail->UnsetToolTip();
        return;
    }
    m_detail->SetLabel(ToWx(shown.detail));
    m_detail->SetToolTip(ToWx(shown.detail));
    m_detail->Show();
    if (shown.kind == VerdictShown::Kind::Note) {
        // A state, not a verdict: words only, no coloured word.
        m_panel->Hide();
        Layout();
        return;
    }
    // U+2714 heavy check mark, U+2716 heavy multiplication x, U+25A0 black square: the shape
    // tells the verdict without the colour.
    const char* symbol = "\xE2\x9C\x96 ";
    wxColour back = kFailBack;
    if (shown.kind == VerdictShown::Kind::Pass) {
        symbol = "\xE2\x9C\x94 ";
        back = kPassBack;
    } else if (shown.kind == VerdictShown::Kind::Aborted) {
        symbol = "\xE2\x96\xA0 ";
        back = kAbortBack;
    }
    m_panel->SetBackgroundColour(back);
    m_word->SetBackgroundColour(back);
    m_word->SetLabel(wxString::FromUTF8(symbol) + ToWx(shown.word));
    m_panel->Show();
    Layout();
    m_panel->Refresh();
}

void VerdictLabel::Place(const wxRect& word, const wxRect& detail) {
    m_panel->SetSize(word);
    m_detail->SetSize(detail);
    wxFont font = m_detail->GetFont();
    font.SetWeight(wxFONTWEIGHT_BOLD);
    m_detail->SetFont(font);
    Layout();
}

void VerdictLabel::Layout() {
    const wxSize area = m_panel->GetClientSize();
    // Letters about two thirds of the band's height, smaller only if the word would not fit.
    int pixels = std::max(8, area.GetHeight() * 2 / 3);
    wxFont font(wxFontInfo(wxSize(0, pixels)).Bold().Family(wxFONTFAMILY_SWISS));
    m_word->SetFont(font);
    while (pixels > 8 &&
           m_word->GetTextExtent(m_word->GetLabel()).GetWidth() > area.GetWidth() - 4) {
        pixels -= 2;
        font = wxFont(wxFontInfo(wxSize(0, pixels)).Bold().Family(wxFONTFAMILY_SWISS));
        m_word->SetFont(font);
    }
    const int height = m_word->GetBestSize().GetHeight();
    m_word->SetSize(0, std::max(0, (area.GetHeight() - height) / 2), area.GetWidth(), height);
}

wxString VerdictLabel::WordLabel() const {
    return m_word->GetLabel();
}
