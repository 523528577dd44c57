#include "store/SqliteConnection.h"

#include <sqlite3.h>

namespace {

// A writer held up by another (a station and the board on one file) waits this long.
constexpr int kBusyMs = 5000;

// Reset when done with, whatever the way out: a statement left mid-way would keep its read
// open and hold back the log's checkpoints.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
};

int Bind(sqlite3_stmt* stmt, int index, const SqlValue& value) {
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return sqlite3_bind_int64(stmt, index, *whole);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return sqlite3_bind_double(stmt, index, *number);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()),
                                 SQLITE_TRANSIENT);
    }
    return sqlite3_bind_null(stmt, index);
}

}  // namespace

SqliteConnection::SqliteConnection(sqlite3* db, std::string path)
    : m_db(db), m_path(std::move(path)), m_shown("sqlite:" + m_path) {}

SqliteConnection::~SqliteConnection() {
    for (const auto& [sql, stmt] : m_statements) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(m_db);
}

SysFailure SqliteConnection::Failure(int code) const {
    const int primary = code & 0xFF;
    const SysStatus status =
        primary == SQLITE_FULL                                  ? SysStatus::NoSpace
        : primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR ? SysStatus::Lost
        : primary == SQLITE_BUSY || primary == SQLITE_LOCKED    ? SysStatus::Busy
                                                                : SysStatus::Failed;
    const char* words = m_db != nullptr && sqlite3_errcode(m_db) == code ? sqlite3_errmsg(m_db)
                                                                         : sqlite3_errstr(code);
    return SysFailure(SysResult{status, "", 0}, m_shown, words);
}

Result<std::unique_ptr<SqliteConnection>> SqliteConnection::Open(const std::string& path) {
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db, path));
    if (opened != SQLITE_OK) {
        return connection->Failure(opened);
    }
    sqlite3_busy_timeout(db, kBusyMs);
    sqlite3_extended_result_codes(db, 1);
    // The first read finds a file that is not a database; WAL keeps readers and a writer apart,
    // and NORMAL flushes at each checkpoint rather than each commit, which WAL makes safe
    // against a crash of the program (a power cut may lose the last commits, not the file).
    for (const char* setup :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA foreign_keys=ON"}) {
        if (path == ":memory:" && std::string(setup).find("WAL") != std::string::npos) {
            continue;
        }
        Result<void> done = connection->Query(setup, {}, [](const SqlRow&) { return true; });
        if (!done) {
            return done.Failure();
        }
    }
    return connection;
}

Result<std::int64_t> SqliteConnection::Run(const std::string& sql,
                                           const std::vector<SqlValue>& params) {
    Result<void> done = Query(sql, params, [](const SqlRow&) { return true; });
    if (!done) {
        return done.Failure();
    }
    return static_cast<std::int64_t>(sqlite3_changes(m_db));
}

Result<void> SqliteConnection::Query(const std::string& sql, const std::vector<SqlValue>& params,
                                     const std::function<bool(const SqlRow&)>& each) {
    int rc = SQLITE_OK;
    auto cached = m_statements.find(sql);
    if (cached == m_statements.end()) {
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            return Failure(rc);
        }
        cached = m_statements.emplace(sql, stmt).first;
    }
    Statement statement{cached->second};
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        const int index = sqlite3_bind_parameter_index(statement.stmt, name.c_str());
        if (index == 0) {
            continue;  // a parameter the statement does not use
        }
        if ((rc = Bind(statement.stmt, index, params[i])) != SQLITE_OK) {
            return Failure(rc);
        }
    }
    const int columns = sqlite3_column_count(statement.stmt);
    SqlRow row(static_cast<std::size_t>(columns));
    while ((rc = sqlite3_step(statement.stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement.stmt, c));
            row[static_cast<std::size_t>(c)] =
                text == nullptr
                    ? std::nullopt
                    : std::optional<std::string>(
                          std::in_place, text,
                          static_cast<std::size_t>(sqlite3_column_bytes(statement.stmt, c)));
        }
        if (!each(row)) {
            return {};
        }
    }
    return rc == SQLITE_DONE ? Result<void>() : Result<void>(Failure(rc));
}

Result<void> SqliteConnection::BeginWrite() {
    Result<std::int64_t> begun = Run("BEGIN IMMEDIATE");
    return begun ? Result<void>() : Result<void>(begun.Failure());
}
