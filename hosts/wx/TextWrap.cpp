#include "hosts/wx/TextWrap.h"

namespace {

// The longest start of `word` that fits, at least one character so that every line takes some.
std::size_t FittingPrefix(const wxString& word, int width,
                          const std::function<int(const wxString&)>& widthOf) {
    std::size_t length = 1;
    while (length < word.length() && widthOf(word.Left(length + 1)) <= width) {
        ++length;
    }
    return length;
}

}  // namespace

std::vector<wxString> WrapText(const wxString& text, int width,
                               const std::function<int(const wxString&)>& widthOf) {
    std::vector<wxString> lines;
    wxString line;
    for (wxString rest = text; !rest.empty();) {
        const size_t blank = rest.find(' ');
        wxString word = rest.substr(0, blank);
        rest = blank == wxString::npos ? wxString() : rest.substr(blank + 1);
        const wxString joined = line.empty() ? word : line + " " + word;
        if (widthOf(joined) <= width) {
            line = joined;
            continue;
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        while (widthOf(word) > width) {
            const std::size_t cut = FittingPrefix(word, width, widthOf);
            lines.push_back(word.Left(cut));
            word = word.Mid(cut);
        }
        line = word;
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}
