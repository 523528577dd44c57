#pragma once

// A box's own data on its way between a station and its slot (SlotChannel.h), one codec each.
//
// Down, as the input "unit-data": the lease the pool holds the values under and each field's
// text, in the job's field order; or, instead of values, why the pool gave none (the reason's
// word and the operator's line):
//   {"lease":"7d3c…","fields":["SN00001000","aa:bb:cc:00:00:01"]}
//   {"refusal":"unit-pool-empty","why":"unit pool empty: serial"}
// Up, as the message "unit": what became of a lease, once when a box is served with it and again
// when the box's session is over (just before its record), so that the station settles it by the
// rule of the pool (store/UnitPool.h):
//   {"lease":"7d3c…","reached":256,"length":256,"served_sha256":"9f5e…","ended":true}

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/SessionEvents.h"
#include "record/Json.h"

struct UnitData {
    std::string lease;
    std::vector<std::string> fields;
    // Without values: UnitPoolEmpty or UnitStoreUnreachable, and the line that says why.
    std::optional<EndReason> refusal;
    std::string why;

    bool operator==(const UnitData&) const = default;
};

struct UnitReport {
    std::string lease;
    std::int64_t reached = 0;  // bytes of the region that reached the port
    std::int64_t length = 0;   // the region's
    std::string servedSha256;  // the image as this box was served it
    bool ended = false;        // the box's session is over

    bool operator==(const UnitReport&) const = default;
};

Json UnitDataJson(const UnitData& data);
// Nothing for an object that holds neither a lease with its fields nor a refusal this version
// knows.
std::optional<UnitData> UnitDataFromJson(const Json& json);
Json UnitReportJson(const UnitReport& report);
std::optional<UnitReport> UnitReportFromJson(const Json& json);
