#pragma once

// Text from outside the tool, made safe to show on a terminal or in a file that a terminal will
// show. A terminal acts on control characters: the C0 set and DEL, the C1 set U+0080..U+009F,
// and in an 8-bit terminal the raw bytes 0x80..0x9F, which is how CSI (0x9B) or OSC (0x9D) clear
// a screen or set a title. Each such control is shown instead as \xHH, byte by byte, so the
// operator still sees what came.
//
// What counts as one character follows the code set (CodeSet.h): in UTF-8 a valid multi-byte
// sequence is one character, and is shown as it is unless it encodes a C1 control; in code page
// 949 a lead byte and its trail byte are one character; in a single-byte code set every byte
// 0x80..0x9F is a control, and so is the UTF-8 form of a C1 control (a terminal that reads
// UTF-8 after all would act on it). A backslash is not escaped: Windows-style names such as
// \\.\COM5 must read as they are.

#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"

// Which C0 controls keep their meaning: for a console echo, the ones that shape text (CR, LF,
// TAB, BS); for a name (a path, a device), none, so that a name never breaks a line.
enum class KeptControls { LayoutOnly, None };

// A name escaped whole: every control escaped.
std::string EscapeName(std::string_view name, CodeSet codeSet = ActiveCodeSet());

// Escapes a stream that arrives in pieces (the box's console echo): a character split between
// two pieces is held back until its end arrives, so that it is neither escaped as two broken
// halves nor let through as a raw C1 byte.
class ShownTextStream {
  public:
    explicit ShownTextStream(KeptControls kept, CodeSet codeSet = ActiveCodeSet())
        : m_kept(kept), m_codeSet(codeSet) {}

    // The shown form of what can be shown so far.
    std::string Feed(std::string_view piece);
    // The shown form of a held-back incomplete character (escaped: it can no longer complete).
    std::string Flush();

  private:
    KeptControls m_kept;
    CodeSet m_codeSet;
    std::string m_held;
};
