#include "store/StoreUrl.h"

#include <filesystem>

namespace {

constexpr const char* kSqlite = "sqlite:";

// "postgresql://ann:secret@db/line" as "postgresql://ann:***@db/line".
std::string WithoutPassword(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?", authority);
    const std::size_t at = url.rfind('@', end == std::string::npos ? url.size() : end);
    if (at == std::string::npos || at < authority) {
        return url;
    }
    const std::size_t colon = url.find(':', authority);
    if (colon == std::string::npos || colon > at) {
        return url;
    }
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

}  // namespace

Result<StoreUrl> ParseStoreUrl(const std::string& text) {
    StoreUrl url;
    if (text.rfind(kSqlite, 0) == 0) {
        url.kind = StoreUrl::Kind::Sqlite;
        url.target = text.substr(std::string(kSqlite).size());
        if (url.target.empty()) {
            return Refusal("--db " + text, "sqlite: needs the database file's path (sqlite:FILE)");
        }
        url.shown = text;
        return url;
    }
    if (text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0) {
        url.kind = StoreUrl::Kind::Postgres;
        url.target = text;
        url.shown = WithoutPassword(text);
        return url;
    }
    return Refusal("--db " + WithoutPassword(text),
                   "a database is sqlite:FILE or postgresql://[USER@]HOST[:PORT]/DATABASE");
}

StoreUrl StoreUrl::From(const std::string& folder) const {
    if (kind != Kind::Sqlite || target.empty() || target.front() == '/') {
        return *this;
    }
    StoreUrl moved = *this;
    moved.target = (std::filesystem::path(folder) / target).lexically_normal().string();
    moved.shown = kSqlite + moved.target;
    return moved;
}
