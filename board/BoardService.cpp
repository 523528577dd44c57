#include "board/BoardService.h"

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "board/HistoryImport.h"
#include "mqtt/LineMessage.h"
#include "mqtt/StateFolder.h"
#include "store/RecordExport.h"

namespace {

// The ids a page is spared a second event for: far more than a broker resends after a
// reconnection, or a station's spool after an outage.
constexpr std::size_t kRecentIds = 100'000;
constexpr std::size_t kMostFound = 1000;
// A snapshot this large (a line of hundreds of stations) gives the freed heap back when made.
constexpr std::size_t kTrimAfterBytes = 4 << 20;

std::int64_t SystemNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "board-0123456789abcdef.db-spool" in the state folder: one spool per database.
std::string StateSpool(const std::string& url) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : url) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    char name[48];
    std::snprintf(name, sizeof name, "board-%016llx.db-spool",
                  static_cast<unsigned long long>(hash));
    const Result<std::string> report = DefaultReportPath();
    const std::filesystem::path folder = report ? std::filesystem::path(*report).parent_path()
                                                : std::filesystem::temp_directory_path();
    return (folder / name).string();
}

Json ErrorPlot(const std::string& why) {
    return Json{{"bin_ms", kRecordBinMs}, {"from", 0},
                {"bins", Json::array()},  {"stations", Json::array()},
                {"slots", Json::array()}, {"pareto", Json::array()},
                {"error", JsonText(why)}};
}

}  // namespace

BoardService::BoardService(Config config) : m_config(std::move(config)), m_hub(m_config.streams) {
    if (!m_config.now) {
        m_config.now = SystemNow;
    }
}

Result<std::unique_ptr<BoardService>> BoardService::Open(Config config) {
    std::unique_ptr<BoardService> service(new BoardService(std::move(config)));
    BoardService& s = *service;
    std::string spool = s.m_config.spool;
    if (s.m_config.db.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "stavel-board-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return ErrnoFailure("mkdtemp", pattern, errno);
        }
        s.m_temporary = pattern;
        s.m_config.db = "sqlite:" + pattern + "/history.db";
    }
    Result<StoreUrl> url = ParseStoreUrl(s.m_config.db);
    if (!url) {
        return url.Failure();
    }
    s.m_url = *url;
    if (spool.empty()) {
        spool =
            url->kind == StoreUrl::Kind::Sqlite ? url->target + ".spool" : StateSpool(url->target);
    }
    Result<std::unique_ptr<RecordStore>> store = RecordStore::Open(s.m_url, s.m_config.say);
    if (!store && store.Failure().result.status != SysStatus::Lost) {
        return store.Failure();
    }
    if (store && !s.m_config.importFrom.empty()) {
        Result<std::optional<HistoryImported>> imported =
            ImportHistory(s.m_config.importFrom, **store);
        if (!imported) {
            return imported.Failure();
        }
        if (*imported && s.m_config.say) {
            s.m_config.say("board: " + std::to_string((*imported)->results) +
                           " results of the history " + s.m_config.importFrom + " (" +
                           std::to_string((*imported)->files) + " file(s)) read into " +
                           s.m_url.shown + "; the old files are renamed " + s.m_config.importFrom +
                           ".imported, ...");
        }
    }
    if (store) {
        // The latest ids, so that a result heard again after a restart is no new event.
        if (Result<std::vector<std::string>> ids =
                (*store)->LatestIds(static_cast<int>(kRecentIds))) {
            for (auto it = ids->rbegin(); it != ids->rend(); ++it) {
                s.Remember(*it);
            }
        }
        // The last failures as the page shows them, newest last.
        if (Result<std::vector<RecordStore::Placed>> failures =
                (*store)->LastFailures(kFailuresKept)) {
            for (auto it = failures->rbegin(); it != failures->rend(); ++it) {
                if (std::optional<HistoryResult> result =
                        ResultFromStored(it->station, it->slot, it->json)) {
                    s.m_failures.push_back(std::move(*result));
                }
            }
        }
    }
    Result<std::unique_ptr<ResultSpool>> spooled = ResultSpool::Open(spool);
    if (!spooled) {
        return spooled.Failure();
    }
    RecordWriter::Config writer;
    writer.shown = s.m_url.shown;
    writer.open = [url = s.m_url, say = s.m_config.say] { return RecordStore::Open(url, say); };
    writer.store = store ? std::move(*store) : nullptr;
    writer.spool = std::move(*spooled);
    writer.say = s.m_config.say;
    writer.goingOn = "the board goes on";
    writer.keepMs = s.m_config.keepMs;
    writer.now = s.m_config.now;
    writer.written = s.m_config.written;
    s.m_writer = std::make_unique<RecordWriter>(std::move(writer));
    s.m_writer->Start();
    return service;
}

BoardService::~BoardService() {
    m_hub.Close();
    m_writer.reset();  // writes what waits, for a few seconds, or leaves it in the spool
    {
        std::lock_guard lock(m_readMutex);
        m_reader.reset();
    }
    if (!m_temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_temporary, ignored);
    }
}

void BoardService::Publish(const LineBoard::Event& event) {
    // A station's or a slot's event says all there is of it now: a newer one makes a waiting
    // one stale. A result is news each page must get.
    const std::string name = event.name;
    std::string key;
    if (name == "station") {
        key = "station\n" + JsonStringAt(event.data, "name");
    } else if (name == "slot") {
        const auto slot = event.data.find("slot");
        key = "slot\n" + JsonStringAt(event.data, "station") + "\n" +
              (slot != event.data.end() ? JsonStringAt(*slot, "name") : std::string());
    }
    m_hub.Publish(EventFrame(event.name, JsonLine(event.data)), key);
    m_snapshot.reset();
}

void BoardService::OnMessage(const std::string& topic, const std::string& payload) {
    // Decoded outside the lock: a large payload must not hold the pages up.
    const std::optional<LineMessage> message = DecodeLineMessage(topic, payload);
    if (!message) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (message->kind != LineMessage::Kind::Result) {
        if (const std::optional<LineBoard::Event> event = m_board.OnMessage(*message)) {
            Publish(*event);
        }
        return;
    }
    if (!message->record) {
        return;  // a cleared topic, or no record
    }
    const HistoryResult result = ResultOfRecord(message->station, message->slot, *message->record);
    if (!Remember(result.id)) {
        return;
    }
    // Kept once by its id, whether the database had it before or not.
    m_writer->Add(payload + "\n", message->station, message->slot);
    if (result.result != BoxResult::Pass) {
        m_failures.push_back(result);
        if (m_failures.size() > kFailuresKept) {
            m_failures.pop_front();
        }
    }
    if (const std::optional<LineBoard::Event> event = m_board.OnResult(result, *message->record)) {
        Publish(*event);
    }
    if (const std::optional<LineBoard::Event> tile =
            m_board.SlotEvent(result.station, result.slot)) {
        Publish(*tile);
    }
}

bool BoardService::Remember(const std::string& id) {
    if (!m_recent.insert(id).second) {
        return false;
    }
    m_recentOrder.push_back(id);
    if (m_recentOrder.size() > kRecentIds) {
        m_recent.erase(m_recentOrder.front());
        m_recentOrder.pop_front();
    }
    return true;
}

void BoardService::OnLink(bool connected, const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_connected = connected;
    m_link = text;
    m_hub.Publish(
        EventFrame("broker", JsonLine(Json{{"connected", connected}, {"text", JsonText(text)}})),
        "broker");
    m_snapshot.reset();
}

std::shared_ptr<const std::string> BoardService::SnapshotLocked() const {
    // Made once for every page that opens and every API call until the next change: a large
    // line is one string however many read it.
    if (m_snapshot) {
        return m_snapshot;
    }
    Json failures = Json::array();
    for (const HistoryResult& failure : m_failures) {
        failures.push_back(HistoryJson(failure));
    }
    // Written a piece at a time, as JsonLine would write the whole: {"broker":..,"stations":..,
    // "failures":..}.
    std::string line =
        "{\"broker\":" + JsonLine(Json{{"connected", m_connected}, {"text", JsonText(m_link)}}) +
        ",\"stations\":";
    line += m_board.StationsLine();
    line += ",\"failures\":" + JsonLine(failures) + "}";
    const bool large = line.size() > kTrimAfterBytes;
    m_snapshot = std::make_shared<const std::string>(std::move(line));
    if (large) {
        // The pieces of a large line leave the heap in fragments that glibc keeps from the
        // system; given back here, the board's memory follows its line, not its past peaks.
        malloc_trim(0);
    }
    return m_snapshot;
}

std::shared_ptr<const std::string> BoardService::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return SnapshotLocked();
}

RecordStore* BoardService::Reader() const {
    if (!m_reader) {
        Result<std::unique_ptr<RecordStore>> opened = RecordStore::Open(m_url);
        if (opened) {
            m_reader = std::move(*opened);
        }
    }
    return m_reader.get();
}

RecordStore::Filter BoardService::Scope(int hours, const std::string& station,
                                        const std::string& slot) const {
    RecordStore::Filter filter;
    const std::int64_t now = m_config.now();
    filter.fromMs = now - hours * 3600'000LL;
    filter.toMs = now + 1;
    if (!station.empty()) {
        filter.station = station;
        if (!slot.empty()) {
            filter.slot = slot;
        }
    }
    return filter;
}

std::string BoardService::Plot(int hours, const std::string& station,
                               const std::string& slot) const {
    constexpr std::int64_t kPlotFreshMs = 2000;
    constexpr std::size_t kMostPlots = 64;
    const std::int64_t now = m_config.now();
    const std::string key = std::to_string(hours) + '\n' + station + '\n' + slot;
    std::lock_guard lock(m_readMutex);
    const auto cached = m_plots.find(key);
    if (cached != m_plots.end() && now - cached->second.madeMs < kPlotFreshMs &&
        now >= cached->second.madeMs) {
        return cached->second.json;
    }
    if (m_plots.size() >= kMostPlots) {
        m_plots.clear();
    }
    RecordStore* reader = Reader();
    if (reader == nullptr) {
        return JsonLine(ErrorPlot("the history's database " + m_url.shown + " cannot be reached"));
    }
    Result<Json> plot = reader->Plot(now - hours * 3600'000LL, now, station, slot);
    Result<std::vector<RecordStore::ReasonCount>> reasons =
        plot ? reader->ParetoOfCounts(now - hours * 3600'000LL, now, station, slot)
             : Result<std::vector<RecordStore::ReasonCount>>(plot.Failure());
    if (!plot || !reasons) {
        const SysFailure failure = !plot ? plot.Failure() : reasons.Failure();
        m_reader.reset();  // made again for the next plot
        return JsonLine(ErrorPlot(failure.Describe()));
    }
    std::int64_t total = 0;
    for (const RecordStore::ReasonCount& reason : *reasons) {
        total += reason.count;
    }
    Json pareto = Json::array();
    std::int64_t sum = 0;
    for (const RecordStore::ReasonCount& reason : *reasons) {
        sum += reason.count;
        pareto.push_back(Json::array(
            {JsonText(reason.reasonCode), reason.count,
             JsonNumber(std::round(static_cast<double>(sum) / static_cast<double>(total) * 1000) /
                        1000)}));
    }
    (*plot)["pareto"] = std::move(pareto);
    std::string json = JsonLine(*plot);
    m_plots[key] = {now, json};
    return json;
}

std::string BoardService::Find(const std::string& boxId) const {
    Json records = Json::array();
    std::lock_guard lock(m_readMutex);
    RecordStore* reader = Reader();
    Result<void> read = reader == nullptr
                            ? Result<void>(Refusal(m_url.shown, "cannot be reached"))
                            : reader->FindBox(boxId, [&](const RecordStore::Placed& found) {
                                  // Shown where the board counts it: its topic's names.
                                  if (std::optional<Json> record = ParseJsonObject(found.json)) {
                                      (*record)["station"] = JsonText(found.station);
                                      (*record)["slot"] = JsonText(found.slot);
                                      records.push_back(std::move(*record));
                                  }
                                  return records.size() < kMostFound;
                              });
    Json answer{{"box", JsonText(boxId)}, {"records", std::move(records)}};
    if (!read) {
        m_reader.reset();
        answer["error"] = JsonText(read.Failure().Describe());
    }
    return JsonLine(answer);
}

bool BoardService::ExportCsv(int hours, const std::string& station, const std::string& slot,
                             const std::function<bool(const std::string&)>& write) const {
    Result<std::unique_ptr<RecordStore>> store = RecordStore::Open(m_url);
    if (!store) {
        return false;
    }
    const RecordStore::Filter filter = Scope(hours, station, slot);
    CsvColumns columns;
    Result<void> read = (*store)->Export(filter, [&](const std::string& line) {
        columns.Learn(line);
        return true;
    });
    if (!read || !write(columns.Header())) {
        return read.Ok();
    }
    std::string piece;
    bool open = true;
    read = (*store)->Export(filter, [&](const std::string& line) {
        piece += columns.Row(line);
        if (piece.size() >= 65536) {
            open = write(piece);
            piece.clear();
        }
        return open;
    });
    if (open && !piece.empty()) {
        write(piece);
    }
    return read.Ok();
}

std::unique_ptr<EventHub::Stream> BoardService::OpenStream(
    std::shared_ptr<const std::string>& snapshot) {
    std::lock_guard lock(m_mutex);
    std::unique_ptr<EventHub::Stream> stream = m_hub.Join();
    if (stream) {
        snapshot = SnapshotLocked();
    }
    return stream;
}

void BoardService::CloseStreams() {
    m_hub.Close();
}

std::optional<std::int64_t> BoardService::HistorySize() const {
    std::lock_guard lock(m_readMutex);
    RecordStore* reader = Reader();
    if (reader == nullptr) {
        return std::nullopt;
    }
    Result<std::int64_t> count = reader->Count();
    if (!count) {
        m_reader.reset();
        return std::nullopt;
    }
    return *count;
}
