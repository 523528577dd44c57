#include "store/SqlConnection.h"

Result<void> SqlConnection::Commit() {
    Result<std::int64_t> done = Run("COMMIT");
    if (done) {
        return {};
    }
    (void)Rollback();
    return done.Failure();
}

Result<void> SqlConnection::Rollback() {
    Result<std::int64_t> done = Run("ROLLBACK");
    return done ? Result<void>() : Result<void>(done.Failure());
}

Result<std::vector<SqlRow>> SqlConnection::Rows(const std::string& sql,
                                                const std::vector<SqlValue>& params) {
    std::vector<SqlRow> rows;
    Result<void> read = Query(sql, params, [&](const SqlRow& row) {
        rows.push_back(row);
        return true;
    });
    if (!read) {
        return read.Failure();
    }
    return rows;
}
