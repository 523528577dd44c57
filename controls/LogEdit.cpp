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
    SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
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
