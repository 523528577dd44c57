#include "controls/LogEdit.h"

#include <cstdarg>
#include <cstdio>
#include <string>

CLogEdit::~CLogEdit() = default;

void CLogEdit::AppendText(const char* text) {
    // The insertion point goes to the end first, so the text neither replaces a selection the
    // operator made nor lands where the caret was left.
    SetSel(-1, -1);
    SendMessage(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : ""));
    if (GetTextLength() > kMaxBytes) {
        TrimOldLines();
    }
    SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
}

void CLogEdit::TrimOldLines() {
    const std::string& text = Text();
    // The first line that starts within the kept tail; a single line longer than that is cut
    // where the tail starts, since the bound matters more than the line.
    const std::size_t tailStart = text.size() - kKeptBytes;
    const std::size_t lineEnd = text.find('\n', tailStart > 0 ? tailStart - 1 : 0);
    const std::size_t cut =
        lineEnd == std::string::npos || lineEnd + 1 > text.size() - 1 ? tailStart : lineEnd + 1;
    SetSel(0, static_cast<long>(cut));
    SendMessage(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(""));
    SetSel(-1, -1);
}

void CLogEdit::AppendFormat(const char* format, ...) {
    // Nearly every message fits the small buffer; a longer one is formatted again into a buffer
    // of its own size instead of being cut off or written past the end.
    char buffer[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        // A conversion the C library refused: nothing to add, but the view still scrolls.
        va_end(again);
        AppendText("");
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        va_end(again);
        AppendText(buffer);
        return;
    }
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    AppendText(large.c_str());
}
