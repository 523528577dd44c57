#pragma once

// A SQLite database file (or ":memory:") as an SqlConnection. The file is kept in WAL mode, so
// that the board's pages read while a station or the board writes; a writer that finds the
// file locked by another process waits for it up to a few seconds rather than failing.
//
// Threading rules: one thread at a time (SqlConnection.h).

#include <memory>
#include <string>
#include <unordered_map>

#include "store/SqlConnection.h"

struct sqlite3;
struct sqlite3_stmt;

class SqliteConnection final : public SqlConnection {
  public:
    // Opens (or makes) the file. A file that is not a database fails here, with SQLite's words.
    static Result<std::unique_ptr<SqliteConnection>> Open(const std::string& path);
    ~SqliteConnection() override;

    SqlDialect Dialect() const override { return SqlDialect::Sqlite; }
    Result<std::int64_t> Run(const std::string& sql,
                             const std::vector<SqlValue>& params = {}) override;
    Result<void> Query(const std::string& sql, const std::vector<SqlValue>& params,
                       const std::function<bool(const SqlRow&)>& each) override;
    Result<void> BeginWrite() override;
    const std::string& Shown() const override { return m_shown; }

  private:
    SqliteConnection(sqlite3* db, std::string path);
    SysFailure Failure(int code) const;

    sqlite3* m_db;
    std::string m_path;
    std::string m_shown;
    // Each statement is compiled once: a batch of records runs the same few thousands of times.
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};
