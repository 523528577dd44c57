#pragma once

// A job's [unit] as a station hands it to each slot in its configuration: what the slot needs to
// write a box's data into the region, and to name it in the record, and nothing of where the
// values come from (the station draws them; a list of a million rows stays with it):
//   {"offset":126976,"length":256,
//    "fields":[{"name":"serial","at":0,"length":16,"format":"ascii","secret":false}],
//    "checksum":{"from":126976,"to":127228,"at":127228,"order":"little"}}
// "checksum" is null for none. What is read is checked as the job reader checks it (fields and
// the checksum inside the region, formats known), since a slot writes by these offsets.

#include <optional>

#include "record/Json.h"
#include "unit/UnitLayout.h"

Json UnitLayoutJson(const UnitLayout& layout);
std::optional<UnitLayout> UnitLayoutFromJson(const Json& json);
