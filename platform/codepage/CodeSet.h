#pragma once

// Which character set the system's texts are in. Texts are byte strings in the locale's code set,
// as the C runtime sees them after the program's setlocale(LC_ALL, ""). Three kinds matter to the
// code that folds, searches and splits such texts:
//
//   Utf8        multi-byte, but every byte below 0x80 is a whole character, so ASCII letters are
//               the only ones folded and an ASCII byte never hides inside another character;
//   Cp949       code page 949 (a superset of EUC-KR): a byte 0x81..0xFE leads a double-byte
//               character and the byte after it belongs to that character, whatever its value;
//   SingleByte  every byte is one character (the C locale, ISO-8859-x).
//
// ActiveCodeSet() answers from the locale unless a caller chose a code set with SetCodeSet (tests,
// or a host that knows better). The choice is process-wide and may be read from any thread.

#include <optional>
#include <string>
#include <string_view>

enum class CodeSet { SingleByte, Utf8, Cp949 };

// The code set in force: the explicit choice if there is one, otherwise the locale's.
CodeSet ActiveCodeSet();

// Chooses the code set explicitly; std::nullopt returns to the locale's.
void SetCodeSet(std::optional<CodeSet> codeSet);

// The kind of a code set named as nl_langinfo(CODESET) names it ("UTF-8", "EUC-KR", "CP949",
// "ANSI_X3.4-1968", ...).
CodeSet CodeSetFromName(std::string_view name);

// The locale's code set name (nl_langinfo(CODESET)), for iconv.
std::string LocaleCodeSetName();
