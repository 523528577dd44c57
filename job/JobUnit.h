#pragma once

// A job's [unit] read and checked whole, each mistake named by its line: a region past the
// image's end, fields that overlap each other or the checksum, a field or checksum outside the
// region, a value longer than its field, a list with a value twice (naming both of its lines),
// an unknown format or source. Lists are read here, so a broken list stops the job before any
// box. See unit/UnitLayout.h for the section's shape.

#include <toml++/toml.h>

#include "job/Job.h"
#include "job/JobReader.h"

Result<void> ReadJobUnit(const JobReader& in, const toml::table& table, Job& job);

// Once the image is known: the region lies within it. Nothing to say without a [unit] or where
// the image cannot be read (its hash check says so).
Result<void> CheckUnitInImage(const JobReader& in, const Job& job);
