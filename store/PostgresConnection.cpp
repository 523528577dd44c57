#include "store/PostgresConnection.h"

#include <libpq-fe.h>

#include <cstdio>

namespace {

struct ResultHolder {
    PGresult* result = nullptr;
    ~ResultHolder() { PQclear(result); }
    void Reset(PGresult* next) {
        PQclear(result);
        result = next;
    }
};

// What libpq says, on one line.
std::string OneLine(std::string words) {
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) {
        words.pop_back();
    }
    std::string line;
    for (const char c : words) {
        const char shown = c == '\n' || c == '\t' ? ' ' : c;
        if (shown != ' ' || line.empty() || line.back() != ' ') {
            line += shown;
        }
    }
    return line;
}

std::string Text(const SqlValue& value) {
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*whole);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", *number);
        return text;
    }
    return std::get<std::string>(value);
}

}  // namespace

PostgresConnection::~PostgresConnection() {
    PQfinish(m_conn);
}

SysFailure PostgresConnection::Failure(const char* sqlState, const std::string& words) const {
    const std::string state = sqlState != nullptr ? sqlState : "";
    SysStatus status = SysStatus::Failed;
    if (PQstatus(m_conn) != CONNECTION_OK || state.rfind("08", 0) == 0 ||
        state.rfind("57P", 0) == 0) {
        status = SysStatus::Lost;  // no connection, or the server is shutting down
    } else if (state == "53100") {
        status = SysStatus::NoSpace;
    } else if (state == "40001" || state == "40P01" || state == "55P03") {
        status = SysStatus::Busy;  // another writer in the way: try again
    }
    return SysFailure(SysResult{status, "", 0}, m_shown, OneLine(words));
}

Result<std::unique_ptr<PostgresConnection>> PostgresConnection::Open(const std::string& url,
                                                                     const std::string& shown,
                                                                     int connectSeconds) {
    const std::string timeout = std::to_string(connectSeconds);
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {url.c_str(), timeout.c_str(), "stavel", nullptr};
    // dbname holds the whole URL: libpq expands it, and the other keys fill what it leaves out.
    pg_conn* conn = PQconnectdbParams(keys, values, 1);
    std::unique_ptr<PostgresConnection> connection(new PostgresConnection(conn, shown));
    if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
        return SysFailure(SysResult{SysStatus::Lost, "", 0}, shown,
                          OneLine(conn != nullptr ? PQerrorMessage(conn) : "out of memory"));
    }
    // Notices (an index that exists already) are not the operator's business.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    return connection;
}

Result<std::int64_t> PostgresConnection::Run(const std::string& sql,
                                             const std::vector<SqlValue>& params) {
    return Execute(sql, params, {});
}

Result<void> PostgresConnection::Query(const std::string& sql, const std::vector<SqlValue>& params,
                                       const std::function<bool(const SqlRow&)>& each) {
    Result<std::int64_t> done = Execute(sql, params, each);
    return done ? Result<void>() : Result<void>(done.Failure());
}

Result<std::int64_t> PostgresConnection::Execute(const std::string& sql,
                                                 const std::vector<SqlValue>& params,
                                                 const std::function<bool(const SqlRow&)>& each) {
    std::vector<std::string> texts;
    std::vector<const char*> values;
    texts.reserve(params.size());
    for (const SqlValue& value : params) {
        if (std::holds_alternative<std::monostate>(value)) {
            texts.emplace_back();
            values.push_back(nullptr);
        } else {
            texts.push_back(Text(value));
            values.push_back(texts.back().c_str());
        }
    }
    // The texts do not move once reserved, so the pointers above stay good.
    if (PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0) == 0) {
        return Failure(nullptr, PQerrorMessage(m_conn));
    }
    PQsetSingleRowMode(m_conn);
    std::optional<SysFailure> failed;
    std::int64_t changed = 0;
    bool wanted = true;
    ResultHolder got;
    // Every result is read, also after a failure or an early stop, so that the connection is
    // ready for the next statement.
    while ((got.Reset(PQgetResult(m_conn)), got.result != nullptr)) {
        const ExecStatusType status = PQresultStatus(got.result);
        if (status == PGRES_SINGLE_TUPLE) {
            if (wanted && each) {
                const int columns = PQnfields(got.result);
                SqlRow row(static_cast<std::size_t>(columns));
                for (int c = 0; c < columns; ++c) {
                    if (PQgetisnull(got.result, 0, c) == 0) {
                        row[static_cast<std::size_t>(c)] =
                            std::string(PQgetvalue(got.result, 0, c),
                                        static_cast<std::size_t>(PQgetlength(got.result, 0, c)));
                    }
                }
                wanted = each(row);
            }
        } else if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            const char* count = PQcmdTuples(got.result);
            changed = count != nullptr && *count != '\0' ? std::stoll(count) : 0;
        } else if (!failed) {
            failed = Failure(PQresultErrorField(got.result, PG_DIAG_SQLSTATE),
                             PQresultErrorMessage(got.result));
        }
    }
    if (!failed && PQstatus(m_conn) == CONNECTION_BAD) {
        failed = Failure(nullptr, PQerrorMessage(m_conn));
    }
    if (failed) {
        return *failed;
    }
    return changed;
}

Result<void> PostgresConnection::BeginWrite() {
    Result<std::int64_t> begun = Run("BEGIN");
    return begun ? Result<void>() : Result<void>(begun.Failure());
}
