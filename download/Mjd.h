#pragma once

// The Modified Julian Date of a calendar date by the broadcast-table rule (ETSI EN 300 468,
// Annex C), which is what the box's loader expects in the time answer. The products are taken
// in double precision and truncated toward zero, exactly as the rule is written, so that the
// result matches the box's own arithmetic bit for bit: 26 May 2009 gives 54977 (0xD6C1).

// yearsSince1900 as in struct tm; month 1..12; day 1..31.
int ModifiedJulianDate(int yearsSince1900, int month, int day);
