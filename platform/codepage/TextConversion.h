#pragma once

// Conversion between UTF-8 and the locale's code set, through glibc's iconv. The system keeps its
// own non-English texts (the settings store's two messages) in the source as UTF-8 and shows
// them in the code set its other texts are in. The desktop log view decodes console bytes with
// its own LogTextDecoder.

#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"

// `utf8` in `codeSet`. Where the code set cannot hold a character (Korean in the C locale), the
// text is returned unchanged: readable UTF-8 is better than question marks.
std::string FromUtf8(std::string_view utf8, CodeSet codeSet = ActiveCodeSet());

// `text` in `codeSet` as UTF-8, for a toolkit that shows UTF-8. A byte that starts no character
// of the code set shows as U+FFFD and the conversion goes on after it.
std::string DecodeToUtf8(std::string_view text, CodeSet codeSet = ActiveCodeSet());

// The iconv name of a code set. SingleByte names the locale's own set when the locale is a
// single-byte one, and ISO-8859-1 otherwise (every byte is then some character).
std::string IconvName(CodeSet codeSet);
