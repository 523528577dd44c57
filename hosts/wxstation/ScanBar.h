#pragma once

// The station's one scan field, for a job that requires each box's scan: a keyboard-wedge
// scanner types a label and Enter into it, and beside it a line says what became of the last
// scan. A refusal stands out in the warning tone, with a sign, and is never a dialog: the
// operator keeps scanning. The field's text is read at Enter only, to hand it on, and is then
// cleared; the line shows the station's words (ScanNews), which escape whatever was scanned.
//
// Threading rules: the window's thread only.

#include <wx/panel.h>

#include <functional>
#include <string>

#include "station/ScanDesk.h"

class wxStaticText;
class wxTextCtrl;

class ScanBar : public wxPanel {
  public:
    // `scanned` hears each scan as it was typed, at its Enter.
    ScanBar(wxWindow* parent, std::function<void(const std::string&)> scanned);

    void ShowNews(const ScanNews& news);
    void FocusField();
    // Whether `window` is the field (the window's focus may stay there).
    bool IsField(const wxWindow* window) const;

    // What the line says now, and whether it says a refusal.
    const wxStaticText& NewsLine() const { return *m_news; }
    bool ShowsRefusal() const { return m_refusal; }

  private:
    void Entered();

    std::function<void(const std::string&)> m_scanned;
    wxTextCtrl* m_field = nullptr;
    wxPanel* m_band = nullptr;  // the line's ground: the tone of the news
    wxStaticText* m_news = nullptr;
    bool m_refusal = false;
};
