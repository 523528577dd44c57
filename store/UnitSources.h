#pragma once

// A job's [unit] sources as the pool keeps them: a counter by its start and step, a list by the
// values of its key column (the first field that names it), in the file's order.

#include <vector>

#include "store/UnitPool.h"
#include "unit/UnitLayout.h"

std::vector<UnitPool::Source> PoolSourcesOf(const UnitLayout& layout);
