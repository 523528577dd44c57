#pragma once

// Turns the bytes of the log, as they arrive, into text a toolkit can show (UTF-8).
//
// The log holds bytes: the tool's own messages and whatever the box prints, one byte at a time.
// A character that the box sends as several UTF-8 bytes must show as one character although its
// bytes arrive in separate appends, so an incomplete sequence at the end is held back until it
// completes (or proves invalid). A byte that is not text (an invalid sequence, a control
// character other than tab and line breaks) shows as U+FFFD; NUL shows nothing. "\r\n" is one
// line break even when "\r" and "\n" arrive apart, so a trailing "\r" is held back too; a lone
// "\r" is a line break of its own, as the rich edit shows it.
//
// Threading rules: none; one decoder belongs to one view.

#include <string>
#include <string_view>

class LogTextDecoder {
  public:
    // Decodes `bytes` and answers the text that can be shown now.
    std::string Feed(std::string_view bytes);
    // Whatever is still held back, decoded as it stands (for a view that must show everything).
    std::string Flush();
    // Bytes held back, waiting for the rest of a character or a "\n".
    std::size_t Pending() const { return m_pending.size(); }

  private:
    // Decodes m_pending from the start; keeps an incomplete tail unless `final`.
    void Decode(std::string& out, bool final);

    std::string m_pending;
};
