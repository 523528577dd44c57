#include "store/RecordWriter.h"

#include <vector>

#include "record/Json.h"

namespace {

// Old records go this many at a time, each batch a transaction of a few milliseconds.
constexpr int kDeleteBatch = 1000;
constexpr auto kExpiryEvery = std::chrono::minutes(1);

// The names a board counts a record under travel in the spool's slot field, as JSON.
std::string PlaceOf(const std::string& station, const std::string& slot) {
    return station.empty() && slot.empty()
               ? std::string()
               : JsonLine(Json::array({JsonText(station), JsonText(slot)}));
}

std::pair<std::string, std::string> PlaceFrom(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const std::optional<Json> json = ParseJsonObject("{\"p\":" + text + "}");
    if (!json || !(*json)["p"].is_array() || (*json)["p"].size() != 2) {
        return {};
    }
    const Json& place = (*json)["p"];
    return {place[0].is_string() ? place[0].get<std::string>() : "",
            place[1].is_string() ? place[1].get<std::string>() : ""};
}

}  // namespace

std::string DatabaseSpoolPathFor(const std::string& reportPath) {
    return reportPath + ".db-spool";
}

RecordWriter::RecordWriter(Config config)
    : m_config(std::move(config)),
      m_spool(std::move(m_config.spool)),
      m_store(std::move(m_config.store)) {}

RecordWriter::~RecordWriter() {
    End();
}

void RecordWriter::Start() {
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable() && !m_ending) {
        m_thread = std::thread([this] { Run(); });
    }
}

void RecordWriter::Add(const std::string& line, const std::string& station,
                       const std::string& slot) {
    if (Result<void> kept = m_spool->Add(PlaceOf(station, slot), line); !kept && m_config.say) {
        // The report has the record; only a restart before the database takes it would lose it.
        m_config.say("database: the spool cannot be written (" + kept.Failure().Describe() +
                     "); the record is written, but a restart before the database has it loses it");
    }
    {
        std::lock_guard lock(m_mutex);
        m_added = true;
    }
    m_news.notify_one();
}

void RecordWriter::End(std::chrono::milliseconds grace) {
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_ending) {
            first = true;
            m_ending = true;
            m_deadline = Clock::now() + grace;
        }
    }
    m_news.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    const std::size_t left = m_spool->Size();
    if (first && left > 0 && m_config.say) {
        m_config.say("database: " + std::to_string(left) +
                     (left == 1 ? " record waits" : " records wait") + " in the spool " +
                     m_spool->Path() + "; the next run writes " + (left == 1 ? "it" : "them") +
                     " to " + m_config.shown);
    }
}

void RecordWriter::Show(Link link, const std::string& reason) {
    // A new reason for the same trouble (refused, then timed out) is not news.
    if (link == m_shown) {
        return;
    }
    const Link before = m_shown;
    m_shown = link;
    if (!m_config.say) {
        return;
    }
    const std::string waiting = "; records wait in " + m_spool->Path() + " until it is back";
    switch (link) {
        case Link::Writing:
            if (before != Link::Starting) {
                m_config.say("database: " + m_config.shown + " takes records again; writing " +
                             std::to_string(m_spool->Size()) + " from the spool");
            }
            break;
        case Link::Unreachable:
            m_config.say("database: cannot reach " + m_config.shown + ": " + reason + "; " +
                         m_config.goingOn + waiting);
            break;
        case Link::Full:
            m_config.say("database: " + m_config.shown + " is full: " + reason +
                         "; records wait in " + m_spool->Path() +
                         " until it has room; the run will end with status 8");
            break;
        case Link::Refused:
            m_config.say("database: " + m_config.shown + " refused the records: " + reason + "; " +
                         m_config.goingOn + waiting);
            break;
        case Link::Starting:
            break;
    }
}

void RecordWriter::Fault(const SysFailure& failure) {
    const std::string reason = failure.reason.empty() ? failure.Describe() : failure.reason;
    switch (failure.result.status) {
        case SysStatus::NoSpace:
            // Connected afresh for the next try: a server may have been given room meanwhile.
            m_diskFull = true;
            m_store.reset();
            Show(Link::Full, reason);
            break;
        case SysStatus::Busy:
            break;  // another writer held it past the wait: tried again, not news
        case SysStatus::Lost:
            m_store.reset();
            Show(Link::Unreachable, reason);
            break;
        default:
            // A file replaced by one that is not a database, a schema made newer meanwhile:
            // connect afresh, which says why.
            m_store.reset();
            Show(Link::Refused, reason);
            break;
    }
    m_nextAttempt = Clock::now() + m_config.retryInterval;
}

void RecordWriter::Compact(bool now) {
    const Clock::time_point at = Clock::now();
    if (!m_compactDue ||
        (!now && m_spool->Size() > 0 && at - m_lastCompact < std::chrono::seconds(1))) {
        return;
    }
    m_compactDue = false;
    m_lastCompact = at;
    if (Result<void> compacted = m_spool->Compact(); !compacted && m_config.say) {
        m_config.say("database: the spool cannot be rewritten (" + compacted.Failure().Describe() +
                     "); a restart writes a record again, which the database keeps once");
    }
}

bool RecordWriter::WriteBatch() {
    const std::vector<ResultSpool::Entry> entries = m_spool->PendingAfter(0, m_config.batch);
    if (entries.empty()) {
        return false;
    }
    std::vector<StoredRecord> records;
    records.reserve(entries.size());
    for (const ResultSpool::Entry& entry : entries) {
        const auto [station, slot] = PlaceFrom(entry.slot);
        if (std::optional<StoredRecord> record = StoredRecordOf(entry.line, station, slot)) {
            records.push_back(std::move(*record));
        }
        // else: not a record (a line torn on the way); the report keeps what it was
    }
    Result<int> put = m_store->Put(records);
    if (!put) {
        Fault(put.Failure());
        return false;
    }
    Show(Link::Writing, {});
    for (const ResultSpool::Entry& entry : entries) {
        m_spool->Acknowledge(entry.seq);
    }
    m_compactDue = true;
    if (m_config.written) {
        m_config.written(static_cast<std::size_t>(*put));
    }
    return true;
}

void RecordWriter::Expire() {
    const Clock::time_point at = Clock::now();
    if (!m_config.keepMs || !m_config.now || (!m_expiring && at < m_nextExpiry)) {
        return;
    }
    Result<std::int64_t> deleted =
        m_store->DeleteBefore(m_config.now() - *m_config.keepMs, kDeleteBatch);
    if (!deleted) {
        Fault(deleted.Failure());
        return;
    }
    m_expiring = *deleted >= kDeleteBatch;
    if (!m_expiring) {
        m_nextExpiry = at + kExpiryEvery;
    }
}

void RecordWriter::Run() {
    for (;;) {
        bool ending = false;
        Clock::time_point deadline;
        {
            std::unique_lock lock(m_mutex);
            ending = m_ending;
            deadline = m_deadline;
            m_added = false;
        }
        if (Result<void> synced = m_spool->Sync(); !synced && m_config.say) {
            m_config.say("database: the spool cannot be flushed to disk (" +
                         synced.Failure().Describe() +
                         "); a power cut before the database has the record loses it there");
        }
        const Clock::time_point now = Clock::now();
        if (ending && (m_spool->Size() == 0 || now >= deadline)) {
            break;
        }
        bool busy = false;
        if (!m_store && (now >= m_nextAttempt || ending)) {
            Result<std::unique_ptr<RecordStore>> opened = m_config.open();
            if (opened) {
                m_store = std::move(*opened);
            } else {
                Fault(opened.Failure());
                if (ending) {
                    break;  // one last try at the end: what waits stays in the spool
                }
            }
        }
        if (m_store && (now >= m_nextAttempt || ending)) {
            busy = WriteBatch();
            if (ending && !busy && m_spool->Size() > 0) {
                break;  // the database did not take them: they stay in the spool
            }
            if (m_store && !busy && !ending) {
                Expire();
                busy = m_expiring;
            }
        }
        Compact(false);
        if (busy) {
            continue;
        }
        std::unique_lock lock(m_mutex);
        const Clock::time_point wake =
            std::min(ending ? deadline : Clock::time_point::max(),
                     m_store ? now + std::chrono::seconds(1) : m_nextAttempt);
        m_news.wait_until(lock, std::max(wake, now + std::chrono::milliseconds(10)),
                          [&] { return m_added || m_ending != ending; });
    }
    Compact(true);
}
