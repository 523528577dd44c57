#include "hosts/cli/station/Station.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "download/BoxRecordJson.h"
#include "download/BoxVerdict.h"
#include "download/FlatJson.h"
#include "download/RecordId.h"
#include "hosts/cli/PortChoice.h"
#include "hosts/cli/PortProbe.h"
#include "platform/base/Eintr.h"
#include "platform/base/SysResult.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/ports/PortMap.h"

namespace {

std::atomic<Station*> g_current{nullptr};

constexpr auto kTick = std::chrono::seconds(1);
// Each slot has SignalStop's five seconds to stop cleanly; the station ends within that too.
constexpr auto kStopBound = std::chrono::milliseconds(4500);

std::string DeviceOf(const std::string& port) {
    if (const std::optional<int> number = PortNumberForName(port)) {
        return DevicePathForNumber(*number).value_or(port);
    }
    return port;
}

std::string LastLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            last = line;
        }
    }
    return last;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::error_code ignored;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      ignored);
}

}  // namespace

Station* Station::Current() {
    return g_current.load();
}

Station::Station(const CliOptions& options, StationObserver* observer)
    : m_options(options),
      m_observer(observer != nullptr ? observer : &m_noObserver),
      m_view(options.json) {}

Station::~Station() {
    m_slots.clear();  // every child is reaped before its files go
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
    if (!m_tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_tempDir, ignored);
    }
}

void Station::OnSignal(int signo) {
    m_signal.store(signo);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
}

bool Station::Prepare(std::string& error) {
    const int image = open(m_options.image.c_str(), O_RDONLY | O_CLOEXEC);
    if (image < 0) {
        error =
            "Cannot read input file: " + EscapeName(m_options.image) + ": " + std::strerror(errno);
        return false;
    }
    close(image);
    if (m_options.logDir) {
        // A folder that is not there yet is made, as an operator naming it would expect.
        std::error_code ignored;
        std::filesystem::create_directories(*m_options.logDir, ignored);
        errno = 0;
        struct stat st {};
        if (stat(m_options.logDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            access(m_options.logDir->c_str(), W_OK | X_OK) != 0) {
            error = "the log folder cannot take files: " + EscapeName(*m_options.logDir) + ": " +
                    std::strerror(errno != 0 ? errno : ENOTDIR);
            return false;
        }
    }
    if (m_options.report) {
        m_report = ReportFile::Open(*m_options.report, &error);
        if (!m_report) {
            error = "the report cannot be written: " + EscapeName(error);
            return false;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/stavel-station-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
        error = "the station's temporary folder cannot be made: " + EscapeName(dir) + ": " +
                std::strerror(errno);
        return false;
    }
    m_tempDir = dir;
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        error = DescribeErrno("eventfd", "", errno);
        return false;
    }
    for (std::size_t i = 0; i < m_options.ports.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->name = m_options.ports[i];
        slot->device = DeviceOf(slot->name);
        slot->ini = m_tempDir + "/slot" + std::to_string(i + 1) + ".ini";
        slot->errorFile = m_tempDir + "/slot" + std::to_string(i + 1) + ".err";
        slot->status.slot = slot->name;
        // The numbers the station's own port choice gives, one per slot, so that each slot's
        // log names its own COM port as the operator would see it in a single run.
        slot->number = ChoosePort(slot->name).number;
        slot->status.state = "starting";
        // The operator's settings as they are, in a copy no other slot writes.
        if (m_options.ini) {
            CopyFile(*m_options.ini, slot->ini);
        }
        m_slots.push_back(std::move(slot));
    }
    return true;
}

bool Station::MoreBoxes(const Slot& slot) const {
    return m_options.loop && (m_options.count == 0 || slot.boxes < m_options.count);
}

bool Station::Spawn(Slot& slot) {
    std::vector<std::string> args{"--port",        slot.name,     "--image",
                                  m_options.image, "--ini",       slot.ini,
                                  "--quiet",       "--events-fd", "3"};
    if (slot.number > 0) {
        args.push_back("--slot-number=" + std::to_string(slot.number));
    }
    if (m_options.debug) {
        args.push_back("--debug");
    }
    if (m_options.loop) {
        args.push_back("--loop");
        if (m_options.count > 0) {
            args.push_back("--count=" + std::to_string(m_options.count - slot.boxes));
        }
    }
    if (m_options.timeoutSeconds > 0) {
        args.push_back("--timeout=" + std::to_string(m_options.timeoutSeconds));
    }
    if (m_options.logDir) {
        args.push_back("--log-dir");
        args.push_back(*m_options.logDir);
        if (m_options.timestamps) {
            args.push_back("--timestamps");
        }
    }
    std::string error;
    if (!slot.process.Start(args, slot.errorFile, error)) {
        m_view.Message(EscapeName(slot.name) + ": the slot cannot start: " + error);
        slot.phase = Phase::Done;
        SetState(slot, "done");
        return false;
    }
    slot.phase = Phase::Running;
    slot.heard = false;
    slot.judged = false;
    SetState(slot, "starting");
    return true;
}

void Station::SetState(Slot& slot, const std::string& state) {
    slot.status.state = state;
    if (state != "loading") {
        slot.status.rate = 0;
        slot.status.etaSeconds = -1;
    }
    Show(slot, true);
    m_view.Table(Statuses());
}

void Station::Show(Slot& slot, bool force) {
    const Clock::time_point now = Clock::now();
    if (!force && now - slot.lastShown < kTick) {
        return;
    }
    slot.lastShown = now;
    m_observer->OnSlotChanged(slot.status);
    if (slot.status.state == "loading") {
        m_view.Progress(slot.status, slot.bytes, slot.size);
    }
}

void Station::OnLine(Slot& slot, const std::string& line) {
    const std::optional<FlatJsonFields> fields = ParseFlatJson(line);
    if (!fields) {
        return;
    }
    const std::string event = FlatJsonString(*fields, "event");
    if (event == "armed") {
        slot.lastEnd.clear();
        slot.heard = false;
        slot.judged = false;
        slot.bytes = 0;
        slot.status.percent = 0;
        SetState(slot, "waiting");
    } else if (event == "progress") {
        slot.bytes = static_cast<long long>(FlatJsonNumber(*fields, "bytes"));
        slot.size = static_cast<long long>(FlatJsonNumber(*fields, "size"));
        const double rate = FlatJsonNumber(*fields, "rate");
        const long long shown = std::min(slot.bytes, slot.size);
        slot.status.percent = slot.size > 0 ? static_cast<int>(shown * 100 / slot.size) : 100;
        slot.status.rate = rate;
        slot.status.etaSeconds = rate > 0 ? static_cast<double>(slot.size - shown) / rate : -1;
        if (!slot.heard) {
            slot.heard = true;
            m_view.BoxStarted(slot.name);
            slot.status.state = "loading";
            Show(slot, true);
            m_view.Table(Statuses());
        } else {
            Show(slot, false);
        }
    } else if (event == "record") {
        const auto record = fields->find("record");
        if (record != fields->end() && record->second.kind == FlatJsonValue::Kind::Object) {
            OnRecord(slot, FlatJsonString(*fields, "end"), record->second.text);
        }
    }
}

void Station::OnRecord(Slot& slot, const std::string& end, const std::string& recordText) {
    const std::optional<FlatJsonFields> record = ParseFlatJson(recordText);
    if (!record) {
        return;
    }
    const bool passed = FlatJsonString(*record, "result") == "pass";
    const std::string reason = FlatJsonString(*record, "reason");
    slot.judged = true;
    slot.heard = false;
    slot.lastEnd = end;
    if (end == "port-not-opened") {
        // A port that still will not open, for the same reason, is no news.
        if (reason == slot.lastPortFailure) {
            SetState(slot, "port gone");
            return;
        }
        slot.lastPortFailure = reason;
    } else {
        slot.lastPortFailure.clear();
    }
    WriteRecord(slot, recordText, passed, reason, FlatJsonNumber(*record, "seconds"));
}

void Station::WriteRecord(Slot& slot, const std::string& recordText, bool pass,
                          const std::string& reason, double seconds) {
    const std::string line = recordText + "\n";
    std::string error;
    if (m_report && !m_report->Append(line, &error)) {
        m_view.Message("the report cannot be written: " + EscapeName(error));
        m_reportFailed = true;
    }
    ++slot.boxes;
    slot.seconds += seconds;
    ++(pass ? slot.status.passes : slot.status.fails);
    m_view.BoxEnded(slot.name, pass, reason, seconds, recordText);
    m_observer->OnRecordFinal(slot.name, line);
    SetState(slot, pass ? "passed" : "failed");
    if (m_reportFailed && m_stopSignal == 0) {
        // A station that cannot keep its records serves no more boxes.
        StopAll(SIGTERM);
        m_stopSignal = -1;
    }
}

// The slot's process ended without judging the box it was serving: the box still gets its
// record, so that no box goes unaccounted.
void Station::RecordCrash(Slot& slot, const std::string& reason) {
    BoxRecord r;
    r.id = NewRecordId();
    r.slot = slot.name;
    r.device = slot.device;
    r.pass = false;
    r.reason = reason;
    r.start = r.end = std::chrono::system_clock::now();
    r.bytes = slot.bytes;
    std::error_code ignored;
    r.image = std::filesystem::absolute(m_options.image, ignored).string();
    r.imageSize = static_cast<std::int64_t>(std::filesystem::file_size(m_options.image, ignored));
    std::string line = BoxRecordLine(r);
    line.pop_back();
    slot.judged = true;
    WriteRecord(slot, line, false, reason, 0);
}

void Station::OnChildEnded(Slot& slot) {
    const int status = slot.process.Reap();
    const bool crashed = WIFSIGNALED(status);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (slot.heard && !slot.judged) {
        RecordCrash(
            slot, crashed ? "the slot's process ended by signal " + std::to_string(WTERMSIG(status))
                          : "the slot's process ended with status " + std::to_string(code));
    }
    if (m_stopSignal != 0) {
        slot.phase = Phase::Done;
        SetState(slot, "stopped");
        return;
    }
    if (code == kExitUsage || code == 127) {
        const std::string why = LastLineOf(slot.errorFile);
        m_view.Message(EscapeName(slot.name) + ": the slot cannot serve" +
                       (why.empty() ? std::string() : ": " + EscapeName(why)));
        m_unservable = true;
        slot.phase = Phase::Done;
        SetState(slot, "done");
        return;
    }
    // A --count run ends with 1 whatever ended it: the last box says whether the port went.
    const bool portGone = slot.lastEnd == "port-lost" || slot.lastEnd == "port-not-opened" ||
                          code == kExitPortFailed || code == kExitPortLost || crashed;
    if (portGone && MoreBoxes(slot)) {
        slot.phase = Phase::PortGone;
        slot.nextTry = Clock::now() + kTick;
        SetState(slot, "port gone");
        return;
    }
    slot.phase = Phase::Done;
    // The last verdict stays in view.
    const bool judged = slot.status.state == "passed" || slot.status.state == "failed";
    SetState(slot, judged ? slot.status.state : "done");
}

void Station::StopAll(int signo) {
    m_stopSignal = signo;
    m_stopDeadline = Clock::now() + kStopBound;
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->process.Signal(signo);
            SetState(*slot, "stopping");
        } else if (slot->phase != Phase::Done) {
            slot->phase = Phase::Done;
            SetState(*slot, "stopped");
        }
    }
}

void Station::Tick() {
    const Clock::time_point now = Clock::now();
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::PortGone && now >= slot->nextTry) {
            // Waits for the adapter without a failed start every second.
            if (ProbePort(slot->device).empty()) {
                Spawn(*slot);
            } else {
                slot->nextTry = now + kTick;
            }
        } else if (slot->phase == Phase::Running && slot->status.state == "loading") {
            Show(*slot, false);
        }
        if (m_stopSignal != 0 && now >= m_stopDeadline && slot->process.Running()) {
            slot->process.Signal(SIGKILL);
        }
    }
    m_view.Table(Statuses());
}

void Station::Poll() {
    std::vector<pollfd> fds{{m_wakeFd, POLLIN, 0}};
    std::vector<Slot*> owners{nullptr};
    for (auto& slot : m_slots) {
        if (slot->process.EventFd() >= 0) {
            fds.push_back({slot->process.EventFd(), POLLIN, 0});
            owners.push_back(slot.get());
        }
    }
    const int ready = poll(fds.data(), fds.size(), 250);
    if (ready <= 0) {
        return;
    }
    if (fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof count);
        const int signo = m_signal.exchange(0);
        if (signo != 0 && m_stopSignal <= 0) {
            StopAll(signo);
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        Slot& slot = *owners[i];
        std::vector<std::string> lines;
        const bool open = slot.process.Read(lines);
        for (const std::string& line : lines) {
            OnLine(slot, line);
        }
        if (!open) {
            OnChildEnded(slot);
        }
    }
}

bool Station::AllDone() const {
    for (const auto& slot : m_slots) {
        if (slot->phase != Phase::Done) {
            return false;
        }
    }
    return true;
}

std::vector<SlotFigures> Station::Statuses() const {
    std::vector<SlotFigures> out;
    out.reserve(m_slots.size());
    for (const auto& slot : m_slots) {
        out.push_back(slot->status);
    }
    return out;
}

void Station::PrintTally() {
    std::string text = "stavel: tally\n";
    char line[512];
    std::snprintf(line, sizeof line, "  %-40s %7s %7s %10s\n", "SLOT", "PASSED", "FAILED",
                  "MEAN/BOX");
    text += line;
    int passed = 0;
    int failed = 0;
    double seconds = 0;
    for (const auto& slot : m_slots) {
        const int boxes = slot->status.passes + slot->status.fails;
        std::snprintf(line, sizeof line, "  %-40s %7d %7d %8.1f s\n",
                      EscapeName(slot->name).c_str(), slot->status.passes, slot->status.fails,
                      boxes > 0 ? slot->seconds / boxes : 0.0);
        text += line;
        passed += slot->status.passes;
        failed += slot->status.fails;
        seconds += slot->seconds;
    }
    std::snprintf(line, sizeof line, "  %-40s %7d %7d %8.1f s\n", "total", passed, failed,
                  passed + failed > 0 ? seconds / (passed + failed) : 0.0);
    text += line;
    WriteStderr(text);
}

int Station::Run() {
    std::string error;
    if (!Prepare(error)) {
        WriteStderr("stavel: " + error + "\n");
        return kExitUsage;
    }
    std::vector<std::string> names;
    for (const auto& slot : m_slots) {
        names.push_back(slot->name);
    }
    m_observer->OnStationStarted(names);
    g_current = this;
    for (auto& slot : m_slots) {
        Spawn(*slot);
    }
    Clock::time_point nextTick = Clock::now() + kTick;
    while (!AllDone()) {
        Poll();
        if (Clock::now() >= nextTick) {
            Tick();
            nextTick = Clock::now() + kTick;
        }
    }
    g_current = nullptr;
    m_view.Table(Statuses());
    m_view.EndTable();
    PrintTally();
    int status = kExitPass;
    bool anyFailed = false;
    for (const auto& slot : m_slots) {
        anyFailed = anyFailed || slot->status.fails > 0;
    }
    if (m_stopSignal > 0) {
        status = 128 + m_stopSignal;
    } else if (m_reportFailed || m_unservable) {
        status = kExitUsage;
    } else if (anyFailed) {
        status = kExitSomeBoxFailed;
    }
    m_observer->OnStationEnded(status);
    return status;
}

int RunStation(const CliOptions& options, StationObserver* observer) {
    Station station(options, observer);
    return station.Run();
}
