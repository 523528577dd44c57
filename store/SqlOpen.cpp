#include "store/SqlOpen.h"

#include "store/PostgresConnection.h"
#include "store/SqliteConnection.h"

Result<std::unique_ptr<SqlConnection>> OpenSqlConnection(const StoreUrl& url) {
    if (url.kind == StoreUrl::Kind::Sqlite) {
        Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::Open(url.target);
        if (!opened) {
            return opened.Failure();
        }
        return std::unique_ptr<SqlConnection>(std::move(*opened));
    }
    Result<std::unique_ptr<PostgresConnection>> opened =
        PostgresConnection::Open(url.target, url.shown);
    if (!opened) {
        return opened.Failure();
    }
    return std::unique_ptr<SqlConnection>(std::move(*opened));
}
