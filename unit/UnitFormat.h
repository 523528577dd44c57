#pragma once

// How a unit's value is written into its field of the region, one format per field:
//   ascii   the text's bytes, padded with NULs to the field's length
//   hex     bytes from hex text ("00a1ff", an even count of digits), padded with NULs
//   mac     six bytes from "aa:bb:cc:dd:ee:ff" (or '-' between the pairs); the field is 6 long
//   u32le   a whole number 0..4294967295 (decimal, or 0x hex), 4 bytes little-endian
//   u32be   the same, big-endian
// A value that does not fit its field, or is not of its format, is refused with why.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Result.h"

enum class UnitFormat { Ascii, Hex, Mac, U32Le, U32Be };

// The format a word names ("ascii", "u32le", ...); nothing for an unknown word.
std::optional<UnitFormat> UnitFormatNamed(std::string_view word);
const char* UnitFormatName(UnitFormat format);
// The formats' words, for a refusal: "ascii, hex, mac, u32le or u32be".
const char* UnitFormatWords();
// The field length a format needs, where it fixes one (mac: 6, u32: 4).
std::optional<std::size_t> UnitFormatLength(UnitFormat format);

// `text` as the `length` bytes of its field; refused (the reason in the operator's words) when
// it is not of the format or longer than the field.
Result<std::string> EncodeUnitValue(UnitFormat format, std::string_view text, std::size_t length);
