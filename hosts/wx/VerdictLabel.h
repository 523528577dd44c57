#pragma once

// The verdict beside the lamp, in two widgets: the word (a tick and PASS on green, a cross and
// FAIL on red, in large bold letters, so that it reads from a distance and without telling
// colours apart) and the line below it with the reason and what to do. Both grow with the room
// the window gives them: the word's letters fill about two thirds of its band's height, smaller
// only where the band is too narrow; the line's letters are a third of the word's, never below
// the dialog's font, and smaller where the line would not fit its room; the line wraps, and
// only what does not fit even at the dialog's font is cut, with an ellipsis, and whole in its
// tooltip. Nothing shows while there is no verdict.
//
// The word is painted by its band from the band's size at each paint, not laid out in a label
// control: a window manager's resize reaches the band as a new size and a repaint, and a label
// sized for the old band would show only its top.
//
// Threading rules: UI thread only.

#include <vector>

#include <wx/font.h>
#include <wx/gdicmn.h>

#include "hosts/wx/VerdictWatch.h"

class wxDC;
class wxPanel;
class wxStaticText;
class wxWindow;

class VerdictLabel {
  public:
    explicit VerdictLabel(wxWindow* parent);

    void Show(const VerdictShown& shown);
    void Place(const wxRect& word, const wxRect& line);

    wxPanel* WordPanel() const { return m_panel; }
    wxStaticText* Detail() const { return m_detail; }
    wxString WordLabel() const;

  private:
    void Layout();
    // The word's letters, in pixels, for a band of `area`.
    int WordPixels(const wxSize& area) const;
    void PaintWord(wxDC& dc) const;
    void FitLine(int wordPixels);
    void ShowLines(const std::vector<wxString>& lines, const wxFont& font);
    std::vector<wxString> Wrapped(const wxFont& font) const;
    int WidthOf(const wxString& text, const wxFont& font, int* height = nullptr) const;
    int LineHeight(const wxFont& font) const;

    wxPanel* m_panel;
    wxString m_word;  // the tick or cross and the word; empty while none shows
    wxStaticText* m_detail;
    wxFont m_lineFont;  // the dialog's font in bold: the line's smallest
    wxString m_line;    // the line's whole text
};
