#pragma once

// Fonts and text between the system's byte strings and wxWidgets.
//
// A LOGFONT names a face and a height; the faces the system's code was written for ("MS Sans
// Serif", "System") do not exist here, so any face that the toolkit does not know becomes the
// desktop's GUI font at the height asked for. Byte strings are in the code set in force
// (platform/codepage: UTF-8, or code page 949 under a Korean locale), decoded as the log is
// (LogTextDecoder) and shown with replacement marks where they are not valid, never dropped
// whole; text from the toolkit goes back into that code set.
//
// Threading rules: UI thread only (fonts are toolkit objects).

#include <string>

#include <wx/font.h>
#include <wx/string.h>

#include "platform/gdi/GdiTypes.h"

wxFont FontFromLogFont(const LOGFONT& logFont);
// The LOGFONT that describes `font` (face, pixel height as a negative lfHeight, weight).
LOGFONT LogFontFromFont(const wxFont& font);
wxString ToWx(const std::string& bytes);
std::string FromWx(const wxString& text);
wxColour ToWxColour(COLORREF colour);
COLORREF FromWxColour(const wxColour& colour);
