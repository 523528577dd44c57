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
// The bytes are read in the code set in force when the decoder is made (platform/codepage), as
// the settings store reads its texts: UTF-8 as above (also for a single-byte locale, where the
// box's UTF-8 console is the likelier case), or code page 949, where a lead byte 0x81..0xFE and
// its trail byte are one character, held back together in the same way.
//
// Threading rules: none; one decoder belongs to one view.

#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"

class LogTextDecoder {
  public:
    explicit LogTextDecoder(CodeSet codeSet = ActiveCodeSet())
        : m_cp949(codeSet == CodeSet::Cp949) {}

    // Decodes `bytes` and answers the text that can be shown now.
    std::string Feed(std::string_view bytes);
    // Whatever is still held back, decoded as it stands (for a view that must show everything).
    std::string Flush();
    // Bytes held back, waiting for the rest of a character or a "\n".
    std::size_t Pending() const { return m_pending.size(); }

  private:
    // Decodes m_pending from the start; keeps an incomplete tail unless `final`.
    void Decode(std::string& out, bool final);
    void DecodeCp949(std::string& out, bool final);

    bool m_cp949;
    std::string m_pending;
};
