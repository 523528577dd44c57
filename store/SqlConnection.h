#pragma once

// One connection to the database, the same few calls over SQLite and PostgreSQL: run a
// statement with bound parameters, read a query's rows one at a time, and keep a transaction.
// Every value from outside (a box id typed into a search, a record from the broker) goes in as
// a bound parameter, never as SQL text. The SQL is written once for both: parameters are $1,
// $2, ... (PostgreSQL's own; SQLite takes "$1" as a named parameter), the types are those both
// know (TEXT, BIGINT, DOUBLE PRECISION), and upserts are INSERT ... ON CONFLICT.
//
// A failure says whose it is through its status: Lost when the database cannot be reached or
// the connection broke (worth trying again later), NoSpace when its disk is full, Failed for
// anything else (a file that is not a database, a statement it refused).
//
// Threading rules: one thread at a time per connection.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/Result.h"

// A parameter's value: NULL, a whole number, a number, or text.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// One row of a query as text, the way both databases can give every column; NULL is nothing.
using SqlRow = std::vector<std::optional<std::string>>;

enum class SqlDialect { Sqlite, Postgres };

class SqlConnection {
  public:
    virtual ~SqlConnection() = default;

    virtual SqlDialect Dialect() const = 0;
    // Runs one statement; answers how many rows it changed.
    virtual Result<std::int64_t> Run(const std::string& sql,
                                     const std::vector<SqlValue>& params = {}) = 0;
    // Runs a query and hands each row to `each` as it is read, so that a result larger than
    // memory streams; `each` answers false to stop early.
    virtual Result<void> Query(const std::string& sql, const std::vector<SqlValue>& params,
                               const std::function<bool(const SqlRow&)>& each) = 0;
    // A transaction that writes: SQLite takes its write lock at the start, so that two writers
    // never both wait for the other's.
    virtual Result<void> BeginWrite() = 0;
    // Fails with the commit's own failure, after a rollback.
    Result<void> Commit();
    Result<void> Rollback();

    // The database as the operator named it, without a password.
    virtual const std::string& Shown() const = 0;

    // All the rows of a small query.
    Result<std::vector<SqlRow>> Rows(const std::string& sql,
                                     const std::vector<SqlValue>& params = {});
};
