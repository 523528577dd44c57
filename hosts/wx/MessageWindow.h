#pragma once

// The system's message boxes on the desktop: the message's first line as it was given, with the
// reason on the lines below where there is one, an icon for the kind, and an OK button. The box
// is as wide as its longest line and at least as wide as its title needs (the toolkit's own
// message dialog cuts a short message's title to a few letters).
//
// Threading rules: UI thread only.

#include <string>

#include <wx/dialog.h>

class MessageWindow : public wxDialog {
  public:
    // `iconKind`: the MB_ICON* bits of the message box's type.
    MessageWindow(wxWindow* parent, const std::string& text, const std::string& caption,
                  unsigned iconKind);

    const std::string& Text() const { return m_text; }
    // The width the title needs in the window's frame, in pixels.
    int TitleWidth() const { return m_titleWidth; }

  private:
    std::string m_text;
    int m_titleWidth = 0;
};
