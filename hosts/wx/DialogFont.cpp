#include "hosts/wx/DialogFont.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/settings.h>

wxFont TemplateDialogFont() {
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(8);
    return font;
}

DialogBaseUnits BaseUnitsFor(const wxFont& font) {
    wxBitmap scratch(1, 1);
    wxMemoryDC dc(scratch);
    dc.SetFont(font);
    wxCoord width = 0;
    wxCoord height = 0;
    dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &width, &height);
    DialogBaseUnits units;
    units.cx = std::max(1, (width / 26 + 1) / 2);
    units.cy = std::max(1, dc.GetCharHeight());
    return units;
}
