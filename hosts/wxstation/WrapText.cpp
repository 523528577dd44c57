#include "hosts/wxstation/WrapText.h"

std::vector<wxString> WrapText(wxDC& dc, const wxString& text, int width) {
    std::vector<wxString> lines;
    wxString line;
    const auto fits = [&](const wxString& s) { return dc.GetTextExtent(s).GetWidth() <= width; };
    for (const wxString& word : wxSplit(text, ' ', '\0')) {
        const wxString joined = line.empty() ? word : line + " " + word;
        if (fits(joined)) {
            line = joined;
            continue;
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        line = word;
        // A word wider than the line is cut where it must be, character by character.
        while (!fits(line) && line.length() > 1) {
            std::size_t n = line.length() - 1;
            while (n > 1 && !fits(line.Left(n))) {
                --n;
            }
            lines.push_back(line.Left(n));
            line = line.Mid(n);
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}
