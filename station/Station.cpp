#include "station/Station.h"

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

#include "download/BoxVerdict.h"
#include "platform/base/Eintr.h"
#include "platform/base/SysResult.h"
#include "platform/codepage/ShownText.h"
#include "platform/comm/CommPort.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/ports/PortChoice.h"
#include "platform/ports/PortMap.h"
#include "record/BoxRecordCodec.h"
#include "station/SlotFeed.h"
#include "station/SlotWire.h"

namespace {

std::atomic<Station*> g_current{nullptr};

constexpr auto kTick = std::chrono::seconds(1);
// A slot's process beats once a second while it lives. One silent for longer than the longest
// answer needs on the wire (65,535 bytes at 115200 8N1), the port's stall bound and 5 s more
// is stuck (stopped, or its UI thread wedged): it is killed and its box fails.
constexpr auto kWatchdog = std::chrono::milliseconds(65535LL * 10 * 1000 / 115200) +
                           CommPort::kStallSlack + std::chrono::seconds(5);
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

Station::Station(StationConfig config, StationObserver* observer)
    : m_config(std::move(config)),
      m_observer(observer != nullptr ? observer : &m_noObserver),
      m_view(m_config.json),
      // Made before any other thread can ask the station to stop.
      m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_wakeError(errno) {}

Station::~Station() {
    m_slots.clear();  // every child is reaped before its files go
    if (!m_tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_tempDir, ignored);
    }
}

void Station::Note(const std::string& text) {
    m_view.Message(text);
    m_observer->OnMessage(text);
}

void Station::OnSignal(int signo) {
    if (signo == SIGUSR1) {
        m_finishAsked.store(true);  // the operator's first Ctrl-C: finish the boxes in flight
    } else {
        m_signal.store(signo);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wakeFd.Get(), &one, sizeof one);
}

Result<void> Station::Prepare() {
    if (!UniqueFd(open(m_config.image.c_str(), O_RDONLY | O_CLOEXEC))) {
        return SysFailure(
            SysResult::FromErrno("", errno), "",
            "Cannot read input file: " + EscapeName(m_config.image) + ": " + std::strerror(errno));
    }
    if (m_config.logDir) {
        // A folder that is not there yet is made, as an operator naming it would expect.
        std::error_code ignored;
        std::filesystem::create_directories(*m_config.logDir, ignored);
        errno = 0;
        struct stat st {};
        if (stat(m_config.logDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            access(m_config.logDir->c_str(), W_OK | X_OK) != 0) {
            const int err = errno != 0 ? errno : ENOTDIR;
            return SysFailure(SysResult::FromErrno("", err), "",
                              "the log folder cannot take files: " + EscapeName(*m_config.logDir) +
                                  ": " + std::strerror(err));
        }
    }
    if (m_config.report) {
        Result<std::unique_ptr<ReportFile>> report = ReportFile::Open(*m_config.report);
        if (!report) {
            return SysFailure(
                report.Failure().result, "",
                "the report cannot be written: " + EscapeName(report.Failure().Describe()));
        }
        m_report = std::move(*report);
        m_passed = PassedBoxes(*m_config.report);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/stavel-station-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
        return SysFailure(SysResult::FromErrno("mkdtemp", errno), "",
                          "the station's temporary folder cannot be made: " + EscapeName(dir) +
                              ": " + std::strerror(errno));
    }
    m_tempDir = dir;
    if (!m_wakeFd) {
        return ErrnoFailure("eventfd", "", m_wakeError);
    }
    for (std::size_t i = 0; i < m_config.ports.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        slot->port = m_config.ports[i];
        slot->status.slot = i < m_config.labels.size() ? m_config.labels[i] : slot->port;
        slot->device = DeviceOf(slot->port);
        slot->ini = m_tempDir + "/slot" + std::to_string(i + 1) + ".ini";
        slot->errorFile = m_tempDir + "/slot" + std::to_string(i + 1) + ".err";
        slot->sink.station = this;
        slot->sink.slot = slot.get();
        slot->session = std::make_unique<BoxSession>(SlotOn(slot->status.slot, slot->device), false,
                                                     &slot->sink);
        // The numbers the station's own port choice gives, one per slot, so that each slot's
        // log names its own COM port as the operator would see it in a single run.
        const Result<PortChoice> chosen = ChoosePort(slot->port);
        slot->number = chosen ? chosen->number : 0;
        // The operator's settings as they are, in a copy no other slot writes.
        if (m_config.ini) {
            CopyFile(*m_config.ini, slot->ini);
        }
        m_slots.push_back(std::move(slot));
    }
    return {};
}

void Station::FinishGently() {
    m_finishing = true;
    int inFlight = 0;
    for (const auto& slot : m_slots) {
        inFlight += slot->phase == Phase::Running && slot->session->InSession() ? 1 : 0;
    }
    Note("finishing " + std::to_string(inFlight) + (inFlight == 1 ? " box" : " boxes") +
         "; Ctrl-C again to stop now");
    FinishAll();
}

bool Station::MoreBoxes(const Slot& slot) const {
    if (m_stopSignal != 0 || m_recordFailed || m_finishing) {
        return false;
    }
    // Without --loop each slot serves one box; a port state is no box.
    return m_config.loop ? m_config.count == 0 || slot.boxes < m_config.count : slot.boxes == 0;
}

bool Station::Spawn(Slot& slot) {
    SlotLaunch launch;
    launch.label = slot.status.slot;
    launch.port = slot.port;
    launch.ini = slot.ini;
    launch.number = slot.number;
    launch.boxes = m_config.loop ? (m_config.count > 0 ? m_config.count - slot.boxes : 0) : 1;
    if (Result<void> started =
            slot.process.Start(m_config.program, m_config.slotCommand(launch), slot.errorFile);
        !started) {
        Note(EscapeName(slot.status.slot) +
             ": the slot cannot start: " + started.Failure().Describe());
        slot.phase = Phase::Done;
        return false;
    }
    slot.phase = Phase::Running;
    slot.lastWord = Clock::now();
    slot.hung = false;
    slot.childRecord = nullptr;
    slot.session->SetState(SlotState::WaitingForPort);
    return true;
}

void Station::SessionSink::OnSlotState(SlotState state, const SysFailure& why) {
    station->OnState(*slot, state, why);
}

void Station::SessionSink::OnProgress(const ProgressFigures& figures) {
    slot->status.figures = figures;
    station->Show(*slot, false);
}

void Station::SessionSink::OnSessionEnded(const SessionEnd& end) {
    station->OnBoxEnded(*slot, end);
}

void Station::OnState(Slot& slot, SlotState state, const SysFailure& why) {
    const SlotState before = slot.status.state;
    ApplyState(slot.status, state, why);
    if (state == before) {
        return;
    }
    if (state == SlotState::Loading) {
        slot.noted = state;
        m_view.BoxStarted(slot.status.slot);
    } else if ((state == SlotState::PortAbsent || state == SlotState::PortBusy ||
                state == SlotState::NoRequest) &&
               state != slot.noted) {
        // Said once: each retry passes through the wait for a box again.
        slot.noted = state;
        m_view.PortState(slot.status.slot, state, why.Describe());
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
    if (slot.status.state == SlotState::Loading) {
        m_view.Progress(slot.status);
    }
}

void Station::OnLine(Slot& slot, const std::string& line) {
    const std::optional<SlotLine> event = DecodeSlotLine(line);
    if (!event) {
        return;
    }
    if (event->kind == SlotLine::Kind::Say) {
        Note(EscapeName(slot.status.slot) + ": " + EscapeName(event->text));
        return;
    }
    if (event->kind == SlotLine::Kind::Started) {
        slot.childRecord = nullptr;
    } else if (event->kind == SlotLine::Kind::Ended) {
        // The slot's own record, judged where the box was served, is the one kept.
        slot.childRecord = event->record;
    }
    ApplySlotLine(*event, *slot.session);
}

void Station::OnBoxEnded(Slot& slot, const SessionEnd& end) {
    Json record = std::exchange(slot.childRecord, nullptr);
    if (record.is_null() && end.record) {
        // The slot could not judge its box (its process died): the station's copy of the
        // session does.
        record = BoxRecordJson(*end.record);
    }
    if (record.is_object()) {
        WriteRecord(slot, record);
    }
}

void Station::WriteRecord(Slot& slot, const Json& judged) {
    // The station's own provenance, in the places the record keeps for it.
    Json record = judged;
    WriteProvenance(record, m_config.made);
    // A box that passed before on this line: the record points at the earlier one.
    const std::string boxId = JsonStringAt(record, "box_id");
    std::string extra = boxId.empty() ? std::string() : ", box " + boxId;
    if (!boxId.empty()) {
        if (const auto earlier = m_passed.Find(boxId)) {
            record["repeat_of"] = earlier->recordId;
            extra += "; " + RepeatWarning(boxId, *earlier);
        }
    }
    const std::optional<BoxRecord> typed = BoxRecordFromJson(record);
    if (typed) {
        m_passed.Add(*typed);
    }
    const std::string reason = JsonStringAt(record, "reason");
    const double seconds = JsonNumberAt(record, "seconds");
    if (!JsonBoolAt(record, "log_complete", true)) {
        m_logsLost = true;  // the slot said why; the station keeps serving and ends with 8
    }
    const std::string line = JsonLine(record) + "\n";
    const BoxResult verdict = typed ? typed->result : BoxResult::Fail;
    std::string error;
    if (m_report) {
        if (Result<void> kept = m_report->Append(line); !kept) {
            error = kept.Failure().Describe();
            m_recordFailed = true;
        }
    }
    ++slot.boxes;
    slot.seconds += seconds;
    CountVerdict(slot.status, typed ? VerdictOf(*typed) : LastVerdict{verdict, reason, {}, {}, {}});
    m_view.BoxEnded(slot.status.slot, verdict, reason + extra, seconds, record, error);
    m_observer->OnRecordFinal(slot.status.slot, line);
    if (m_recordFailed) {
        FinishAll();
    }
}

void Station::OnChildEnded(Slot& slot) {
    const int status = slot.process.Reap();
    const bool crashed = WIFSIGNALED(status);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (slot.session->Running()) {
        // The slot's process is gone; so is the download it ran. A box in its session gets its
        // record from the station's copy.
        DownloadEnded ended;
        ended.reason = EndReason::SlotCrashed;
        ended.failure = SysFailure(
            SysResult{SysStatus::Failed, "", 0}, "",
            slot.hung ? std::string("slot process stopped responding")
            : crashed ? "the slot's process ended by signal " + std::to_string(WTERMSIG(status))
                      : "the slot's process ended with status " + std::to_string(code));
        slot.childRecord = nullptr;
        slot.session->OnEnded(ended);
    }
    if (m_stopSignal != 0 || m_recordFailed || m_finishing) {
        slot.phase = Phase::Done;
        return;
    }
    if (code == kSlotWrongImage) {
        // The image was replaced under the line: no slot takes another box, and the station
        // ends as for a changed image.
        const std::string why = LastLineOf(slot.errorFile);
        Note(EscapeName(slot.status.slot) + ": the slot stops serving" +
             (why.empty() ? std::string() : ": " + EscapeName(why)));
        m_wrongImage = true;
        slot.phase = Phase::Done;
        FinishAll();
        return;
    }
    if (code == kSlotCannotServe || code == 127) {
        const std::string why = LastLineOf(slot.errorFile);
        Note(EscapeName(slot.status.slot) + ": the slot cannot serve" +
             (why.empty() ? std::string() : ": " + EscapeName(why)));
        m_unservable = true;
        slot.phase = Phase::Done;
        return;
    }
    if (MoreBoxes(slot)) {
        // A process that died is started again, a second later so that a slot that cannot
        // live does not spin.
        slot.phase = Phase::Restarting;
        slot.nextTry = Clock::now() + kTick;
        return;
    }
    slot.phase = Phase::Done;
}

void Station::StopAll(int signo) {
    m_stopSignal = signo;
    m_stopDeadline = Clock::now() + kStopBound;
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->process.Signal(signo);
            slot->session->SetState(SlotState::Stopping);
        } else {
            slot->phase = Phase::Done;
        }
    }
}

void Station::FinishAll() {
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Running) {
            slot->process.Signal(SIGUSR1);
        } else if (slot->phase != Phase::Done) {
            slot->phase = Phase::Done;
        }
    }
}

void Station::Tick() {
    const Clock::time_point now = Clock::now();
    for (auto& slot : m_slots) {
        if (slot->phase == Phase::Restarting && now >= slot->nextTry) {
            Spawn(*slot);
        } else if (slot->phase == Phase::Running && slot->status.state == SlotState::Loading) {
            slot->session->Tick();  // a box gone quiet shows as stalled
            Show(*slot, false);
        }
        if (m_stopSignal != 0 && now >= m_stopDeadline && slot->process.Running()) {
            slot->process.Signal(SIGKILL);
        }
        if (slot->phase == Phase::Running && !slot->hung && slot->session->InSession() &&
            now - slot->lastWord > kWatchdog) {
            slot->hung = true;
            Note(EscapeName(slot->status.slot) +
                 ": the slot's process stopped responding and was killed");
            slot->process.Signal(SIGKILL);
        }
    }
    m_view.Table(Statuses());
}

void Station::Poll() {
    std::vector<pollfd> fds{{m_wakeFd.Get(), POLLIN, 0}};
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
        [[maybe_unused]] const ssize_t n = read(m_wakeFd.Get(), &count, sizeof count);
        const int signo = m_signal.exchange(0);
        if (signo != 0 && m_stopSignal == 0) {
            StopAll(signo);
        } else if (m_finishAsked.exchange(false) && m_stopSignal == 0 && !m_finishing) {
            FinishGently();
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        Slot& slot = *owners[i];
        std::vector<std::string> lines;
        const bool open = slot.process.Read(lines);
        slot.lastWord = Clock::now();
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

std::vector<SlotStatus> Station::Statuses() const {
    std::vector<SlotStatus> out;
    out.reserve(m_slots.size());
    for (const auto& slot : m_slots) {
        out.push_back(slot->status);
    }
    return out;
}

void Station::PrintTally() {
    std::string text = "stavel: tally\n";
    char line[512];
    std::snprintf(line, sizeof line, "  %-24s %7s %7s %7s %6s %10s\n", "SLOT", "PASSED", "FAILED",
                  "ABORTED", "YIELD", "MEAN/BOX");
    text += line;
    int passed = 0;
    int failed = 0;
    int aborted = 0;
    double seconds = 0;
    auto row = [&](const std::string& name, int p, int f, int a, double total) {
        text += TallyRow(name, p, f, a, total);
    };
    for (const auto& slot : m_slots) {
        const SlotStatus& s = slot->status;
        row(EscapeName(s.slot), s.passes, s.fails, s.aborts, slot->seconds);
        passed += s.passes;
        failed += s.fails;
        aborted += s.aborts;
        seconds += slot->seconds;
    }
    row("total", passed, failed, aborted, seconds);
    WriteStderr(text);
}

StationEnd Station::Run() {
    if (Result<void> prepared = Prepare(); !prepared) {
        WriteStderr("stavel: " + prepared.Failure().Describe() + "\n");
        m_observer->OnMessage(prepared.Failure().Describe());
        return StationEnd{0, false, true, false};
    }
    std::vector<std::string> names;
    for (const auto& slot : m_slots) {
        names.push_back(slot->status.slot);
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
    StationEnd end;
    end.signal = m_stopSignal;
    end.recordNotWritten = m_recordFailed || m_logsLost;
    end.unservable = m_unservable;
    end.wrongImage = m_wrongImage;
    for (const auto& slot : m_slots) {
        end.someFailed = end.someFailed || slot->status.fails > 0;
    }
    m_observer->OnStationEnded();
    return end;
}

StationEnd RunStation(StationConfig config, StationObserver* observer) {
    Station station(std::move(config), observer);
    return station.Run();
}
