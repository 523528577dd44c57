#pragma once

// A connection to the database a URL names, SQLite or PostgreSQL, for whichever part keeps its
// tables there (the records, the unit pool).

#include <memory>

#include "platform/base/Result.h"
#include "store/SqlConnection.h"
#include "store/StoreUrl.h"

Result<std::unique_ptr<SqlConnection>> OpenSqlConnection(const StoreUrl& url);
