#pragma once

// The font the dialogs are laid out and drawn with, and its base units. The templates ask for
// "MS Sans Serif" 8 point; here that is the desktop's GUI face at 8 point. Base units are worked
// out as Windows does for a dialog font: the average width of the 52 Latin letters, rounded, and
// the font's character height, so a dialog unit keeps its proportion to the text it holds.
//
// Threading rules: UI thread only.

#include <wx/font.h>

#include "platform/window/DialogTemplate.h"

wxFont TemplateDialogFont();
DialogBaseUnits BaseUnitsFor(const wxFont& font);
