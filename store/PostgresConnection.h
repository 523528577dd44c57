#pragma once

// A PostgreSQL server (libpq) as an SqlConnection, for a factory's records. Parameters go as
// text beside the statement (PQexecParams), never into it; a query's rows come one at a time
// (single-row mode), so an export of millions of records streams.
//
// A connection that cannot be made, or one that broke, fails with status Lost; a disk full on
// the server (SQLSTATE 53100) with NoSpace.
//
// Threading rules: one thread at a time (SqlConnection.h).

#include <memory>
#include <string>

#include "store/SqlConnection.h"

struct pg_conn;

class PostgresConnection final : public SqlConnection {
  public:
    // Connects, giving up after `connectSeconds` (a server whose host drops the packets).
    static Result<std::unique_ptr<PostgresConnection>> Open(const std::string& url,
                                                            const std::string& shown,
                                                            int connectSeconds = 5);
    ~PostgresConnection() override;

    SqlDialect Dialect() const override { return SqlDialect::Postgres; }
    Result<std::int64_t> Run(const std::string& sql,
                             const std::vector<SqlValue>& params = {}) override;
    Result<void> Query(const std::string& sql, const std::vector<SqlValue>& params,
                       const std::function<bool(const SqlRow&)>& each) override;
    Result<void> BeginWrite() override;
    const std::string& Shown() const override { return m_shown; }

  private:
    PostgresConnection(pg_conn* conn, std::string shown)
        : m_conn(conn), m_shown(std::move(shown)) {}
    SysFailure Failure(const char* sqlState, const std::string& words) const;
    // Runs `sql`, rows to `each` (may be empty); answers the rows a command changed.
    Result<std::int64_t> Execute(const std::string& sql, const std::vector<SqlValue>& params,
                                 const std::function<bool(const SqlRow&)>& each);

    pg_conn* m_conn;
    std::string m_shown;
};
