#pragma once

// The verdict beside the lamp, in two widgets: the word (a tick and PASS on green, a cross and
// FAIL on red, in large bold letters, so that it reads from a distance and without telling
// colours apart) and the line below it with the reason and what to do, cut with an ellipsis
// where the window is too narrow and whole in its tooltip. Nothing shows while there is no
// verdict.
//
// Threading rules: UI thread only.

#include <wx/gdicmn.h>

#include "hosts/wx/VerdictWatch.h"

class wxPanel;
class wxStaticText;
class wxWindow;

class VerdictLabel {
  public:
    explicit VerdictLabel(wxWindow* parent);

    void Show(const VerdictShown& shown);
    void Place(const wxRect& word, const wxRect& detail);

    wxPanel* WordPanel() const { return m_panel; }
    wxStaticText* Detail() const { return m_detail; }
    wxString WordLabel() const;

  private:
    void Layout();

    wxPanel* m_panel;
    wxStaticText* m_word;
    wxStaticText* m_detail;
};
