#include "board/BoardService.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

std::int64_t SystemNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

BoardService::BoardService(Config config)
    : m_config(std::move(config)), m_history(m_config.limits), m_hub(m_config.streams) {
    if (!m_config.now) {
        m_config.now = SystemNow;
    }
}

Result<std::unique_ptr<BoardService>> BoardService::Open(Config config) {
    std::unique_ptr<BoardService> service(new BoardService(std::move(config)));
    if (!service->m_config.historyPath.empty()) {
        const std::int64_t now = service->m_config.now();
        // A segment a quarter of the bound: the files hold the whole bound and a quarter more.
        const std::size_t segment = std::max<std::size_t>(service->m_config.limits.most / 4, 1);
        Result<std::unique_ptr<HistoryFile>> file = HistoryFile::Open(
            service->m_config.historyPath, segment,
            [&](const HistoryResult& result) { (void)service->m_history.Add(result, now); });
        if (!file) {
            return file.Failure();
        }
        service->m_file = std::move(*file);
    }
    service->m_housekeeper = std::thread([raw = service.get()] { raw->Housekeeping(); });
    return service;
}

BoardService::~BoardService() {
    {
        std::lock_guard lock(m_tickMutex);
        m_ending = true;
    }
    m_tick.notify_one();
    if (m_housekeeper.joinable()) {
        m_housekeeper.join();
    }
    m_hub.Close();
    std::lock_guard lock(m_mutex);
    if (m_file) {
        Complain("flush", m_file->Sync());
    }
}

void BoardService::Complain(const std::string& what, const Result<void>& result) {
    // Said once per kind of trouble, not once per result.
    if (result || !m_config.say) {
        return;
    }
    const std::string line = "board: the history cannot " + what + " (" +
                             result.Failure().Describe() +
                             "); the board goes on, but a restart may miss results";
    if (line != m_lastComplaint) {
        m_lastComplaint = line;
        m_config.say(line);
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
    const std::optional<HistoryResult> result =
        ResultOfRecord(message->station, message->slot, *message->record);
    const HistoryStore::Added added = m_history.Add(*result, m_config.now());
    if (added == HistoryStore::Added::Repeat) {
        return;
    }
    if (added == HistoryStore::Added::Kept && m_file) {
        Complain("be written", m_file->Append(*result));
    }
    if (const std::optional<LineBoard::Event> event = m_board.OnResult(*result, *message->record)) {
        Publish(*event);
    }
    if (const std::optional<LineBoard::Event> tile =
            m_board.SlotEvent(result->station, result->slot)) {
        Publish(*tile);
    }
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
    for (const HistoryResult& failure : m_history.Failures()) {
        failures.push_back(HistoryJson(failure));
    }
    m_snapshot = std::make_shared<const std::string>(
        JsonLine(Json{{"broker", {{"connected", m_connected}, {"text", JsonText(m_link)}}},
                      {"stations", m_board.Stations()},
                      {"failures", std::move(failures)}}));
    return m_snapshot;
}

std::shared_ptr<const std::string> BoardService::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return SnapshotLocked();
}

std::string BoardService::Plot(int hours, const std::string& station,
                               const std::string& slot) const {
    constexpr std::int64_t kPlotFreshMs = 2000;
    constexpr std::size_t kMostPlots = 64;
    const std::int64_t now = m_config.now();
    const std::string key = std::to_string(hours) + '\n' + station + '\n' + slot;
    std::lock_guard lock(m_mutex);
    const auto cached = m_plots.find(key);
    if (cached != m_plots.end() && now - cached->second.madeMs < kPlotFreshMs &&
        now >= cached->second.madeMs) {
        return cached->second.json;
    }
    if (m_plots.size() >= kMostPlots) {
        m_plots.clear();
    }
    std::string json = JsonLine(m_history.Plot(now - hours * 3600'000LL, now, station, slot));
    m_plots[key] = {now, json};
    return json;
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

std::size_t BoardService::HistorySize() const {
    std::lock_guard lock(m_mutex);
    return m_history.Size();
}

void BoardService::Housekeeping() {
    std::unique_lock tickLock(m_tickMutex);
    while (!m_tick.wait_for(tickLock, std::chrono::seconds(1), [&] { return m_ending; })) {
        UniqueFd unflushed;
        {
            std::lock_guard lock(m_mutex);
            m_history.Expire(m_config.now());
            m_snapshot.reset();  // its last failures may have aged out
            unflushed = m_file ? m_file->Unflushed() : UniqueFd();
        }
        // Outside the lock: a slow disk must not hold back the results on their way to pages.
        if (unflushed && fdatasync(unflushed.Get()) != 0) {
            const Result<void> failed = ErrnoFailure("fdatasync", m_file->Path(), errno);
            std::lock_guard lock(m_mutex);
            Complain("be flushed to disk", failed);
        }
    }
}
