#include "hosts/wx/VerdictLabel.h"

#include <wx/dcbuffer.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "hosts/wx/TextWrap.h"
#include "hosts/wx/WxFonts.h"

namespace {

const wxColour kPassBack(0, 100, 30);
const wxColour kFailBack(170, 0, 0);
const wxColour kAbortBack(150, 90, 0);

wxFont BoldPixels(int pixels) {
    return wxFont(wxFontInfo(wxSize(0, pixels)).Bold().Family(wxFONTFAMILY_SWISS));
}

}  // namespace

VerdictLabel::VerdictLabel(wxWindow* parent)
    : m_panel(new wxPanel(parent, wxID_ANY)),
      m_detail(new wxStaticText(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                wxST_NO_AUTORESIZE)),
      m_lineFont(parent->GetFont().Bold()) {
    m_panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_panel->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(m_panel);
        PaintWord(dc);
    });
    // A new size is a new word: all of the band is painted again.
    m_panel->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        m_panel->Refresh();
        event.Skip();
    });
    m_panel->Hide();
    m_detail->Hide();
}

void VerdictLabel::Show(const VerdictShown& shown) {
    if (shown.kind == VerdictShown::Kind::None) {
        m_word.clear();
        m_panel->Hide();
        m_detail->Hide();
        m_detail->UnsetToolTip();
        m_line.clear();
        return;
    }
    m_detail->SetToolTip(ToWx(shown.detail));
    // One line of words, broken where its room needs it: a break in the words themselves
    // ("Ports present:\n/dev/ttyS0") is a blank here.
    m_line = ToWx(shown.detail);
    m_line.Replace("\r\n", " ");
    m_line.Replace("\n", " ");
    m_detail->Show();
    if (shown.kind == VerdictShown::Kind::Note) {
        // A state, not a verdict: words only, no coloured word.
        m_word.clear();
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
    m_word = wxString::FromUTF8(symbol) + ToWx(shown.word);
    m_panel->Show();
    Layout();
    m_panel->Refresh();
}

void VerdictLabel::Place(const wxRect& word, const wxRect& line) {
    m_panel->SetSize(word);
    m_detail->SetSize(line);
    Layout();
}

void VerdictLabel::Layout() {
    FitLine(WordPixels(m_panel->GetClientSize()));
    m_panel->Refresh();
}

int VerdictLabel::WordPixels(const wxSize& area) const {
    // Letters about two thirds of the band's height, smaller only if the word would not fit.
    int pixels = std::max(8, area.GetHeight() * 2 / 3);
    while (pixels > 8) {
        const wxFont font = BoldPixels(pixels);
        int width = 0;
        m_panel->GetTextExtent(m_word, &width, nullptr, nullptr, nullptr, &font);
        if (width <= area.GetWidth() - 4) {
            break;
        }
        pixels -= 2;
    }
    return pixels;
}

void VerdictLabel::PaintWord(wxDC& dc) const {
    const wxSize area = m_panel->GetClientSize();
    dc.SetBackground(wxBrush(m_panel->GetBackgroundColour()));
    dc.Clear();
    if (m_word.empty()) {
        return;
    }
    dc.SetFont(BoldPixels(WordPixels(area)));
    dc.SetTextForeground(*wxWHITE);
    const wxSize text = dc.GetTextExtent(m_word);
    dc.DrawText(m_word, (area.GetWidth() - text.GetWidth()) / 2,
                (area.GetHeight() - text.GetHeight()) / 2);
}

int VerdictLabel::WidthOf(const wxString& text, const wxFont& font, int* height) const {
    int width = 0;
    m_detail->GetTextExtent(text, &width, height, nullptr, nullptr, &font);
    return width;
}

std::vector<wxString> VerdictLabel::Wrapped(const wxFont& font) const {
    return WrapText(m_line, m_detail->GetClientSize().GetWidth(),
                    [&](const wxString& text) { return WidthOf(text, font); });
}

int VerdictLabel::LineHeight(const wxFont& font) const {
    int height = 0;
    WidthOf("Ag", font, &height);
    return std::max(1, height);
}

void VerdictLabel::FitLine(int wordPixels) {
    const int room = m_detail->GetClientSize().GetHeight();
    const int smallestHeight = LineHeight(m_lineFont);
    // The largest letters at which the whole line fits its room, found by halving, since a
    // resize lays the line out again at every step.
    auto fits = [&](const wxFont& font) {
        return static_cast<int>(Wrapped(font).size()) * LineHeight(font) <= room;
    };
    int low = 0, high = wordPixels / 3;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (fits(BoldPixels(middle))) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    if (low > 0 && LineHeight(BoldPixels(low)) > smallestHeight) {
        ShowLines(Wrapped(BoldPixels(low)), BoldPixels(low));
        return;
    }
    // At the dialog's font: the lines that fit, the last one ending in an ellipsis where the
    // text goes on (the tooltip has it whole).
    std::vector<wxString> lines = Wrapped(m_lineFont);
    const auto fitting = static_cast<std::size_t>(std::max(1, room / smallestHeight));
    if (lines.size() > fitting) {
        lines.resize(fitting);
        const wxString ellipsis = wxString::FromUTF8("\xE2\x80\xA6");
        wxString& last = lines.back();
        while (!last.empty() &&
               WidthOf(last + ellipsis, m_lineFont) > m_detail->GetClientSize().GetWidth()) {
            last.RemoveLast();
        }
        last += ellipsis;
    }
    ShowLines(lines, m_lineFont);
}

void VerdictLabel::ShowLines(const std::vector<wxString>& lines, const wxFont& font) {
    wxString shown;
    for (const wxString& line : lines) {
        shown += (shown.empty() ? "" : "\n") + line;
    }
    m_detail->SetFont(font);
    // As text: an "&" in a path is no mnemonic.
    m_detail->SetLabelText(shown);
}

wxString VerdictLabel::WordLabel() const {
    return m_word;
}
