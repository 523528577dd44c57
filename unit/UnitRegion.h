#pragma once

// One box's unit made concrete: from the values its sources gave (as the pool keeps them) to
// each field's text, and from there to the region's bytes as this box is served them: the
// image's own bytes there, each field written in its format, and the CRC-32 over its range.
//
// Threading rules: none; plain functions.

#include <string>
#include <utility>
#include <vector>

#include "platform/base/Result.h"
#include "unit/UnitLayout.h"

// The field texts for `sourceValues` (one per source, in the layout's order): a counter's number
// rendered through its pattern, a list's row found by its key. Refused when a list no longer
// holds the key, or a counter's value is not a number.
Result<UnitValues> UnitValuesOf(const UnitLayout& layout, std::vector<std::string> sourceValues);

// The region as served: `base` (the image's bytes of the region, as long as it) with every field
// and the checksum written in. Refused when a value does not fit its field.
Result<std::string> RenderUnitRegion(const UnitLayout& layout, const std::string& base,
                                     const UnitValues& values);

// What the record and the capture name: each field's text, or for a secret field its SHA-256
// ("sha256:" and 64 hex digits), in the layout's order.
std::vector<std::pair<std::string, std::string>> UnitShown(const UnitLayout& layout,
                                                           const UnitValues& values);
