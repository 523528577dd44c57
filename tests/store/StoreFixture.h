#pragma once

// What the store's tests share: a database of each kind, fresh for each test (a SQLite file in
// a temporary folder, or a new database on the binary's one PostgreSQL), and records made the
// way a station makes them.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record/BoxRecordCodec.h"
#include "store/PostgresConnection.h"
#include "store/RecordStore.h"
#include "store/SqliteConnection.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/postgres/PostgresServer.h"

enum class Backend { Sqlite, Postgres };

inline std::string BackendName(const testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

class StoreTest : public testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == Backend::Postgres) {
            std::string why;
            m_server = PostgresServer::Shared(why);
            if (m_server == nullptr) {
                GTEST_SKIP() << why;
            }
        }
    }

    // A new, empty database's URL.
    std::string NewUrl() {
        if (GetParam() == Backend::Sqlite) {
            return "sqlite:" + m_dir.File("db" + std::to_string(++m_files) + ".sqlite");
        }
        const std::string url = m_server->NewDatabase();
        EXPECT_FALSE(url.empty()) << m_server->Log();
        return url;
    }

    std::unique_ptr<SqlConnection> Connect(const std::string& text) {
        const StoreUrl url = *ParseStoreUrl(text);
        if (url.kind == StoreUrl::Kind::Sqlite) {
            auto opened = SqliteConnection::Open(url.target);
            EXPECT_TRUE(opened) << (opened ? "" : opened.Failure().Describe());
            return opened ? std::move(*opened) : nullptr;
        }
        auto opened = PostgresConnection::Open(url.target, url.shown);
        EXPECT_TRUE(opened) << (opened ? "" : opened.Failure().Describe());
        return opened ? std::move(*opened) : nullptr;
    }

    std::unique_ptr<RecordStore> Open(const std::string& url, RecordStore::Say say = {}) {
        auto opened = RecordStore::Open(*ParseStoreUrl(url), say);
        EXPECT_TRUE(opened) << (opened ? "" : opened.Failure().Describe());
        return opened ? std::move(*opened) : nullptr;
    }

    TempDir m_dir;
    PostgresServer* m_server = nullptr;
    int m_files = 0;
};

inline std::chrono::system_clock::time_point At(const std::string& iso) {
    return FromIsoUtcMillis(iso).value_or(std::chrono::system_clock::time_point{});
}

inline std::int64_t Ms(const std::string& iso) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(At(iso).time_since_epoch())
        .count();
}

// A record as a station writes it.
inline BoxRecord Box(const std::string& id, const std::string& station, const std::string& slot,
                     BoxResult result, const std::string& start, double seconds,
                     const std::string& reasonCode = "", const std::string& boxId = "") {
    BoxRecord r;
    r.id = id;
    r.slot = slot;
    r.device = "/dev/ttyUSB0";
    r.result = result;
    r.reason = result == BoxResult::Pass ? "" : "port lost at 30 % (4 s)";
    r.reasonCode = result == BoxResult::Pass ? "passed" : reasonCode;
    r.start = At(start);
    r.end = r.start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    r.seconds = seconds;
    r.image = "/srv/fw.sdl";
    r.imageSize = 65536;
    r.imageSha256 = std::string(64, 'a');
    r.made = {"1.0.0.1", "pc", station, std::string("Ann"), std::string("line3")};
    if (!boxId.empty()) {
        r.boxId = boxId;
    }
    return r;
}

inline StoredRecord Stored(const BoxRecord& record) {
    return *StoredRecordOf(BoxRecordLine(record));
}
