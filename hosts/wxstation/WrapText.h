#pragma once

// Text broken into lines no wider than `width` in the DC's font: at spaces where it can, inside a
// word that is wider than a line by itself. Nothing is dropped.

#include <wx/dc.h>

#include <vector>

std::vector<wxString> WrapText(wxDC& dc, const wxString& text, int width);
