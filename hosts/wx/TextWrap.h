#pragma once

// Text broken into lines no wider than a width: at blanks where it can be, inside a word only
// where the word alone is wider than the line (a long path). Blanks at a break are dropped.
//
// Threading rules: none; plain functions.

#include <functional>
#include <vector>

#include <wx/string.h>

// `widthOf` measures a text as it will be shown.
std::vector<wxString> WrapText(const wxString& text, int width,
                               const std::function<int(const wxString&)>& widthOf);
