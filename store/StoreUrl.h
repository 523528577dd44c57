#pragma once

// Where records are kept, as the operator names it with --db or `db = "..."` in a job:
//   sqlite:PATH                    a SQLite file (the embedded default), made when missing
//   postgresql://[user[:password]@]host[:port]/database[?...]   a PostgreSQL server (also
//                                  postgres://), as libpq reads it
// A password in the URL is never shown: the shown form replaces it with "***".

#include <string>

#include "platform/base/Result.h"

struct StoreUrl {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    std::string target;  // the SQLite file's path, or the whole PostgreSQL URL
    std::string shown;   // for the operator: the URL without its password

    // The same URL with a SQLite path that is relative taken from `folder` (a job's).
    StoreUrl From(const std::string& folder) const;
};

Result<StoreUrl> ParseStoreUrl(const std::string& text);
