// The supervisor in memory, against slots that are not processes and a clock the test moves:
// each slot started with its configuration, its records kept once in one book, a slot that dies
// (or garbles its channel) judged from the station's copy and started again a second later, the
// watchdog, a wrong image, a gentle then a hard stop with its bound, a slot of another version,
// the precedence of the exit statuses, the files of a slot killed mid-box, and the boxes a killed
// station had in flight, recorded by its next start from its journals.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "capture/CaptureReader.h"
#include "capture/CaptureWriter.h"
#include "platform/host/Host.h"
#include "record/BoxRecordCodec.h"
#include "slot/ExitStatus.h"
#include "station/Station.h"
#include "station/StationJournal.h"
#include "store/PoolDealer.h"
#include "store/UnitSources.h"
#include "tests/station/FakeClockStation.h"
#include "tests/station/MemoryTransport.h"
#include "tests/support/files/TempDir.h"

namespace {

using Kind = DownMessage::Kind;

struct Heard final : StationObserver {
    std::vector<std::string> messages;
    std::vector<BoxRecord> records;
    std::vector<BoxRecord> recovered;
    std::vector<SlotStatus> changed;
    std::vector<std::string> said;
    std::vector<std::string> lines;
    int ended = 0;
    void OnMessage(const std::string& text) override { messages.push_back(text); }
    void OnBoxJudged(const std::string&, const BoxRecord& record, const std::string& s,
                     const std::string&) override {
        records.push_back(record);
        said.push_back(s);
    }
    void OnRecordFinal(const std::string&, const std::string& line) override {
        lines.push_back(line);
    }
    void OnBoxRecovered(const std::string&, const BoxRecord& record,
                        const std::string& line) override {
        recovered.push_back(record);
        lines.push_back(line);
    }
    void OnSlotChanged(const SlotStatus& status) override { changed.push_back(status); }
    void OnStationEnded() override { ++ended; }
    int SaidStarting(const std::string& text) const {
        return static_cast<int>(
            std::count_if(messages.begin(), messages.end(),
                          [&](const std::string& m) { return m.starts_with(text); }));
    }
    bool Said(const std::string& text) const {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }
};

class SupervisorTest : public FakeClockStation {
  protected:
    // The slot's box begins and has answered a request of 8192 of its 65536 bytes.
    static void BoxLoads(MemoryTransport::Peer& peer) {
        DownloadStarted started;
        started.imagePath = "/srv/fw.sdl";
        started.imageSize = 65536;
        started.imageSha256 = std::string(64, 'f');
        started.portName = "COM5";
        peer.Event(started);
        peer.Event(FirstFrameSeen{});
        RequestAnswered r;
        r.length = 8192;
        r.sent = r.position = r.bytesSent = r.distinctSent = r.distinctAsked = 8192;
        r.imageSize = 65536;
        r.requests = 1;
        peer.Event(r);
    }

    // The slot judged its box itself and says so.
    static BoxRecord Judged(const std::string& id, const std::string& slot,
                            std::optional<std::string> boxId) {
        BoxRecord record;
        record.id = id;
        record.slot = slot;
        record.device = "/dev/pts/9";
        record.result = BoxResult::Pass;
        record.start = record.end = *FromIsoUtcMillis("2026-12-07T02:31:07.120Z");
        record.seconds = 6.5;
        record.boxId = std::move(boxId);
        record.reasonCode = "passed";
        record.made =
            RecordProvenance{"1.0", "slot-host", std::nullopt, std::nullopt, std::nullopt};
        return record;
    }
    static void BoxPasses(MemoryTransport::Peer& peer, const BoxRecord& record) {
        peer.Say(RecordMessage(record));
        peer.Event(DownloadEnded{EndReason::Passed, {}, {}});
    }

    void Listen() { station->Listen(std::chrono::milliseconds(0)); }

    // What slot `slot`'s process `pid` leaves when it is killed mid-box: its hidden log, cut
    // mid-line, and its hidden capture, whose last entry was being written.
    void HiddenFiles(const std::string& slot, long pid) {
        std::filesystem::create_directories(dir.File("logs"));
        std::filesystem::create_directories(dir.File("caps"));
        WriteBytes(dir.File("logs/." + slot + "." + std::to_string(pid) + ".partial.log"),
                   "Connected COM5 successfully......\r\nhost answ");
        const std::string capture =
            dir.File("caps/." + slot + "." + std::to_string(pid) + ".partial.cap");
        {
            auto writer = CaptureWriter::Create(capture, kCaptureMaxDefault,
                                                R"({"format":"stavel-capture","version":1})");
            ASSERT_TRUE(writer);
            (*writer)->Append(CaptureKind::Box, "\x02\x01\x03");
        }
        std::string bytes = ReadBytes(capture);
        WriteBytes(capture, bytes + "E\x07\x00");  // a head cut short by the kill
    }

    // The closing event the capture at `path` ends with, read as support reads it.
    static std::optional<Json> ClosingOf(const std::string& path) {
        auto reader = CaptureReader::Open(path);
        if (!reader) {
            return std::nullopt;
        }
        std::optional<Json> last;
        while (const std::optional<CaptureEntry> entry = (*reader)->Next()) {
            last = entry->kind == CaptureKind::Event ? ParseJsonObject(entry->body) : std::nullopt;
        }
        if ((*reader)->CutShort()) {
            return std::nullopt;
        }
        return last;
    }

    static std::vector<std::string> FilesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(folder)) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    Heard heard;

    // The station holds the test's observer (and switches): it goes first.
    ~SupervisorTest() override { station.reset(); }
};

TEST_F(SupervisorTest, EachSlotStartsWithItsConfigurationAndItsRecordsAreKeptOnceInOneBook) {
    StationConfig config = Config();
    config.count = 3;
    config.slot.logDir = dir.File("logs");
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin()) << heard.messages.front();
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    const std::vector<DownMessage> sent = a2.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].kind, Kind::Hello);
    EXPECT_EQ(sent[0].version, kSlotChannelVersion);
    ASSERT_EQ(sent[1].kind, Kind::Config);
    const SlotConfig& slot = sent[1].config;
    EXPECT_EQ(slot.label, "A2");
    EXPECT_EQ(slot.port, "/nonexistent/tty2");
    EXPECT_TRUE(slot.loop);
    EXPECT_EQ(slot.count, 3);
    EXPECT_EQ(slot.timeoutSeconds, 30);
    EXPECT_EQ(slot.logDir, dir.File("logs"));
    EXPECT_FALSE(slot.report) << "the station keeps the records";
    EXPECT_EQ(slot.made, config.made);
    EXPECT_TRUE(slot.ini && slot.ini->ends_with("/slot2.ini"));

    // Two slots pass the same box: the second record is a repeat, and both carry the station's
    // provenance whatever the slot wrote.
    a1.Hello();
    a2.Hello();
    BoxLoads(a1);
    BoxPasses(a1, Judged("id-1", "A1", "SN4711"));
    BoxLoads(a2);
    BoxPasses(a2, Judged("id-2", "A2", "SN4711"));
    Listen();
    ASSERT_EQ(heard.records.size(), 2u);
    EXPECT_FALSE(heard.records[0].repeatOf);
    EXPECT_EQ(heard.records[1].repeatOf, "id-1");
    EXPECT_EQ(heard.records[1].made, config.made);
    EXPECT_EQ(heard.said[0], ", box SN4711");
    EXPECT_TRUE(heard.said[1].starts_with(", box SN4711; box SN4711 was loaded before: "))
        << heard.said[1];
    EXPECT_EQ(ReadBytes(*config.report), heard.lines[0] + heard.lines[1]);
    EXPECT_EQ(heard.lines[1], BoxRecordLine(heard.records[1]));

    // The slots end by themselves after their boxes: the station ends, nothing failed.
    a1.Exit(0);
    a2.Exit(0);
    Listen();
    EXPECT_FALSE(station->Done()) << "3 boxes a slot, 1 each so far: they start again";
    Advance(Station::kTick);
    ASSERT_EQ(slots_.Starts(0), 2u);
    EXPECT_EQ(slots_.At(0, 1)->Sent()[1].config.count, 2) << "the boxes still to serve";
    station->StopNow(SIGTERM);
    Listen();
    EXPECT_TRUE(station->Done());
    const StationEnd end = station->End();
    EXPECT_EQ(end, (StationEnd{SIGTERM, false, false, false, false}));
    EXPECT_EQ(heard.ended, 1);
}

TEST_F(SupervisorTest, ASlotThatDiesMidBoxIsJudgedFromTheStationsCopyAndStartsAgainASecondLater) {
    station = std::make_unique<Station>(Config(), &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    a1.Hello();
    BoxLoads(a1);
    a1.Crash(SIGSEGV);
    a2.Hello();
    BoxLoads(a2);
    a2.Garble();
    Listen();
    EXPECT_TRUE(a2.Killed()) << "a channel the station cannot read is the slot's crash";
    Listen();
    ASSERT_EQ(heard.records.size(), 2u);
    for (const BoxRecord& record : heard.records) {
        EXPECT_EQ(record.result, BoxResult::Fail);
        EXPECT_EQ(record.reasonCode, "slot-crashed");
        EXPECT_EQ(record.bytes, 8192);
        EXPECT_EQ(record.imageSha256, std::string(64, 'f'));
        EXPECT_EQ(record.made.job, "job7");
    }
    EXPECT_TRUE(heard.records[0].reason.starts_with("the slot's process ended by signal 11 at "))
        << heard.records[0].reason;
    EXPECT_TRUE(heard.records[1].reason.starts_with("the slot's channel failed at 12 % "))
        << heard.records[1].reason;

    Advance(Station::kTick / 2);
    EXPECT_EQ(slots_.Starts(0), 1u) << "not before a second";
    Advance(Station::kTick / 2);
    EXPECT_EQ(slots_.Starts(0), 2u);
    EXPECT_EQ(slots_.Starts(1), 2u);
}

TEST_F(SupervisorTest, TheWatchdogKillsASlotThatStopsAnsweringMidBoxAndOnlyThen) {
    station = std::make_unique<Station>(Config(), &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    a1.Hello();
    BoxLoads(a1);
    slots_.At(1)->Hello();  // waits for a box, silent: no box to lose
    Listen();
    Advance(Station::WatchdogFor(115200));
    EXPECT_FALSE(a1.Killed());
    a1.Say(BeatMessage());
    Listen();
    Advance(Station::WatchdogFor(115200));
    EXPECT_FALSE(a1.Killed()) << "a beat starts the bound again";
    Advance(Station::kTick);
    EXPECT_TRUE(a1.Killed());
    EXPECT_FALSE(slots_.At(1)->Killed());
    EXPECT_TRUE(heard.Said("A1: the slot's process stopped responding and was killed"));
    Listen();
    ASSERT_EQ(heard.records.size(), 1u);
    EXPECT_TRUE(heard.records[0].reason.starts_with("slot process stopped responding at 12 % "))
        << heard.records[0].reason;
}

TEST_F(SupervisorTest, AWrongImageFinishesEverySlotAndEndsAsAChangedImage) {
    station = std::make_unique<Station>(Config(), &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    a1.Hello();
    BoxLoads(a1);
    a2.Hello();
    a2.Say(EndingMessage(kSlotWrongImage, "/srv/fw.sdl: not the required image"));
    a2.Exit(kSlotWrongImage);
    Listen();
    EXPECT_TRUE(heard.Said("A2: the slot stops serving: /srv/fw.sdl: not the required image"));
    EXPECT_TRUE(a1.Got(Kind::Finish)) << "the box in hand finishes";
    BoxPasses(a1, Judged("id-1", "A1", std::nullopt));
    a1.Exit(0);
    Listen();
    ASSERT_TRUE(station->Done());
    EXPECT_EQ(slots_.Starts(1), 1u);
    EXPECT_EQ(ExitStatusFor(station->End()), kExitImageChanged);
}

TEST_F(SupervisorTest, AGentleStopFinishesTheBoxesInFlightASecondStopsThemWithinItsBound) {
    slots_.exitOnStop = false;  // slots that do not end when told
    station = std::make_unique<Station>(Config(), &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    a1.Hello();
    BoxLoads(a1);
    a2.Hello();
    Listen();
    station->AskFinish();  // as the signal watcher would
    station->TakeAsks();
    EXPECT_TRUE(heard.Said("finishing 1 box; Ctrl-C again to stop now"));
    EXPECT_TRUE(a1.Got(Kind::Finish) && a2.Got(Kind::Finish));
    a2.Exit(0);  // no box in hand: it ends at once, and is not started again
    Listen();
    Advance(Station::kTick * 3);
    EXPECT_EQ(slots_.Starts(1), 1u);

    station->AskStopNow(SIGINT);
    station->TakeAsks();
    EXPECT_TRUE(a1.Got(Kind::Stop));
    Advance(Station::kStopBound - std::chrono::milliseconds(1));
    EXPECT_FALSE(a1.Killed());
    Advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(a1.Killed()) << "past the stop bound";
    Listen();
    ASSERT_TRUE(station->Done());
    ASSERT_EQ(heard.records.size(), 1u);
    EXPECT_EQ(heard.records[0].result, BoxResult::Fail);
    EXPECT_EQ(ExitStatusFor(station->End()), 130);
}

TEST_F(SupervisorTest, ASlotOfAnotherVersionOrOneThatCannotServeIsNotStartedAgain) {
    station = std::make_unique<Station>(Config(), &heard);
    ASSERT_TRUE(station->Begin());
    slots_.At(0)->Say(Json{{"kind", "hello"}, {"version", kSlotChannelVersion + 1}});
    slots_.At(1)->Hello();
    slots_.At(1)->Say(EndingMessage(kSlotCannotServe, "the log folder cannot take files: x"));
    slots_.At(1)->Exit(kSlotCannotServe);
    Listen();
    EXPECT_TRUE(slots_.At(0)->Killed());
    Listen();
    EXPECT_TRUE(heard.Said("A1: the slot cannot serve: " +
                           VersionMismatch(kSlotChannelVersion + 1, kSlotChannelVersion)));
    EXPECT_TRUE(heard.Said("A2: the slot cannot serve: the log folder cannot take files: x"));
    Advance(Station::kTick * 2);
    ASSERT_TRUE(station->Done());
    EXPECT_EQ(slots_.Starts(0), 1u);
    EXPECT_EQ(ExitStatusFor(station->End()), kExitUsage);

    // A station that cannot serve at all says why and ends at once, without a tally.
    Heard refused;
    StationConfig config = Config();
    config.slot.image = dir.File("missing.sdl");
    Station none(config, &refused);
    EXPECT_FALSE(none.Begin());
    EXPECT_TRUE(refused.messages.front().starts_with("Cannot read input file: "))
        << refused.messages.front();
    EXPECT_EQ(none.End(), (StationEnd{0, false, true, false, false}));
    EXPECT_EQ(refused.ended, 0);
}

TEST_F(SupervisorTest, ASlotKilledMidBoxHasItsLogAndCaptureNamedFinallyAndItsRecordSaysSo) {
    StationConfig config = Config(1);
    config.slot.logDir = dir.File("logs");
    config.slot.captureDir = dir.File("caps");
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    a1.Hello();
    BoxLoads(a1);
    a1.Event(BoxSpoke{"SN4711"});  // its console named the box
    ASSERT_NO_FATAL_FAILURE(HiddenFiles("A1", a1.Pid()));
    a1.Crash(SIGKILL);
    Listen();

    ASSERT_EQ(heard.records.size(), 1u);
    const BoxRecord& record = heard.records[0];
    EXPECT_TRUE(record.reason.starts_with("the slot's process ended by signal 9 at 12 % "))
        << record.reason;
    EXPECT_EQ(record.boxId, "SN4711");
    const std::string stem = dir.File("logs/") + "A1_" + [&] {
        std::string t = IsoUtcMillis(record.start);
        std::erase(t, '-');
        std::erase(t, ':');
        return t;
    }() + "_FAIL";
    EXPECT_EQ(record.logFile, stem + ".incomplete.log");
    EXPECT_FALSE(record.logComplete) << "the killed process may not have written its last lines";
    EXPECT_EQ(ReadBytes(stem + ".incomplete.log"),
              "Connected COM5 successfully......\r\nhost answ\r\n" + ApplicationName() +
                  ": A1 (/nonexistent/tty1): FAIL " + record.reason + ", box SN4711\r\n");
    EXPECT_EQ(ReadBytes(*config.report), heard.lines[0]) << "the record names the file it kept";

    // The capture is cut to its whole entries and closed with the box's record.
    EXPECT_EQ(FilesIn(dir.File("caps")),
              std::vector<std::string>{std::filesystem::path(stem).filename().string() +
                                       ".incomplete.cap"});
    const std::optional<Json> closing = ClosingOf(
        dir.File("caps/") + std::filesystem::path(stem).filename().string() + ".incomplete.cap");
    ASSERT_TRUE(closing);
    EXPECT_EQ(JsonStringAt(*closing, "event"), "ended");
    EXPECT_EQ(JsonStringAt(*closing, "reason"), "slot-crashed");
    EXPECT_EQ(JsonStringAt((*closing)["record"], "id"), record.id);
    EXPECT_EQ(JsonStringAt((*closing)["record"], "job"), "job7");

    // A crash is a failed box, not a log the slot could not write.
    station->StopNow(SIGTERM);
    Listen();
    EXPECT_FALSE(station->End().recordNotWritten);
}

TEST_F(SupervisorTest, BoxesAKilledStationHadInFlightAreRecordedOnceByItsNextStart) {
    // The first station serves two boxes and writes its journals; what it leaves on disk is
    // kept aside, as a kill -9 would leave it, beside a report of its own.
    StationConfig first = Config();
    first.slot.logDir = dir.File("logs");
    first.slot.captureDir = dir.File("caps");
    station = std::make_unique<Station>(first, &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    a1.Hello();
    a2.Hello();
    BoxLoads(a1);
    a1.Event(BoxSpoke{"SN4711"});
    BoxLoads(a2);
    Listen();
    Advance(Station::kTick);
    ASSERT_NO_FATAL_FAILURE(HiddenFiles("A1", a1.Pid()));
    const std::string report = dir.File("second.jsonl");
    const std::string journals = JournalFolderFor(report);
    std::filesystem::copy(JournalFolderFor(*first.report), journals,
                          std::filesystem::copy_options::recursive);
    const std::string run = journals + "/" + FilesIn(journals).front();
    ASSERT_EQ(FilesIn(run), (std::vector<std::string>{"lock", "slot1.json", "slot2.json"}));
    // Beside them: a journal torn by a power cut, and one whose files are not a slot's.
    WriteBytes(run + "/slot3.json", "{\"journal\":1,\"slot\":\"A3\",\"box\":{\"id\":\"x");
    WriteBytes(dir.File("victim.log"), "not a box's");
    WriteBytes(run + "/slot4.json", "{\"journal\":1,\"slot\":\"A4\",\"pid\":7,\"log\":\"" +
                                        dir.File("victim.log") +
                                        "\",\"capture\":null,\"stamps\":false,\"box\":null}\n");

    // A start beside the first report finds its run alive: nothing to record.
    Heard beside;
    MemoryTransport otherSlots;
    StationConfig again = Config();
    again.transport = &otherSlots;
    Station alive(again, &beside);
    ASSERT_TRUE(alive.Begin());
    EXPECT_TRUE(beside.recovered.empty());

    // The next start beside the kept journals records each box once, with the figures and the
    // provenance its run had, before it serves.
    Heard next;
    MemoryTransport nextSlots;
    StationConfig second = Config();
    second.report = report;
    second.transport = &nextSlots;
    second.made.operatorName = "Bob";
    Station restarted(second, &next);
    ASSERT_TRUE(restarted.Begin());
    ASSERT_EQ(next.recovered.size(), 2u);
    for (const BoxRecord& r : next.recovered) {
        EXPECT_EQ(r.result, BoxResult::Fail);
        EXPECT_EQ(r.reason, "station stopped: no verdict");
        EXPECT_EQ(r.reasonCode, "station-killed");
        EXPECT_EQ(r.bytes, 8192);
        EXPECT_EQ(r.requests, 1);
        EXPECT_DOUBLE_EQ(r.coverageSent, 0.125);
        EXPECT_EQ(r.imageSha256, std::string(64, 'f'));
        EXPECT_EQ(r.made, first.made) << "the run that served it, not Bob's";
        EXPECT_FALSE(r.logComplete);
        EXPECT_EQ(next.SaidStarting(r.slot + ": FAIL station stopped: no verdict"), 1);
    }
    EXPECT_EQ(next.recovered[0].slot, "A1");
    EXPECT_EQ(next.recovered[0].boxId, "SN4711");
    ASSERT_TRUE(next.recovered[0].logFile);
    EXPECT_TRUE(ReadBytes(*next.recovered[0].logFile)
                    .ends_with("host answ\r\n" + ApplicationName() +
                               ": A1 (/nonexistent/tty1): FAIL station stopped: no verdict, box "
                               "SN4711\r\n"));
    EXPECT_FALSE(next.recovered[1].logFile) << "A2's process had left no log";
    EXPECT_EQ(ReadBytes(report), next.lines[0] + next.lines[1]);
    EXPECT_EQ(next.SaidStarting("the journal " + run + "/slot3.json does not read"), 1);
    EXPECT_EQ(ReadBytes(dir.File("victim.log")), "not a box's") << "only a slot's hidden files";
    // A slot it serves shows the recovered verdict as its last, outside this run's tally.
    ASSERT_FALSE(next.changed.empty());
    EXPECT_EQ(next.changed[0].slot, "A1");
    ASSERT_TRUE(next.changed[0].last);
    EXPECT_EQ(next.changed[0].last->reasonCode, "station-killed");
    EXPECT_EQ(next.changed[0].fails, 0);
    EXPECT_FALSE(std::filesystem::exists(run)) << "the killed run's journals are gone";

    // The start after it records nothing again.
    Heard third;
    MemoryTransport thirdSlots;
    second.transport = &thirdSlots;
    Station once(second, &third);
    ASSERT_TRUE(once.Begin());
    EXPECT_TRUE(third.recovered.empty());
    EXPECT_TRUE(third.messages.empty());
    EXPECT_EQ(ReadBytes(report), next.lines[0] + next.lines[1]);
}

// A job's [unit]: a counter and a list of four MACs, in a real SQLite pool.
UnitLayout TwoSources(const std::string& store) {
    UnitLayout layout;
    layout.offset = 0x100;
    layout.length = 32;
    layout.store = store;
    layout.warnBelow = 3;
    UnitSource serial;
    serial.kind = UnitSource::Kind::Counter;
    serial.name = "serial";
    serial.pattern = *CounterPattern::Parse("SN{:04d}");
    serial.start = 1000;
    UnitSource mac;
    mac.kind = UnitSource::Kind::List;
    mac.name = "mac";
    mac.file = "macs.csv";
    mac.columns = {"mac"};
    for (int i = 1; i <= 4; ++i) {
        mac.rows.push_back({"aa:bb:cc:00:00:0" + std::to_string(i)});
    }
    layout.sources = {serial, mac};
    layout.fields = {UnitField{"serial", 0, 8, UnitFormat::Ascii, 0, 0, false},
                     UnitField{"mac", 8, 6, UnitFormat::Mac, 1, 0, true}};
    return layout;
}

// The unit each slot was dealt last, as its channel carried it.
UnitData LastUnit(const MemoryTransport::Peer& peer) {
    UnitData last;
    for (const DownMessage& m : peer.Sent()) {
        if (m.kind == Kind::Input && m.input.kind == SlotInput::Kind::UnitData) {
            last = m.input.unit;
        }
    }
    return last;
}

// The slot served its unit to a box and tells how much of the region reached the port.
void Served(MemoryTransport::Peer& peer, const UnitData& unit, std::int64_t reached, bool ended) {
    peer.Say(UnitMessage(UnitReport{unit.lease, reached, 32, std::string(64, 'e'), ended}));
}

TEST_F(SupervisorTest, EachSlotIsDealtItsNextUnitAheadAndEveryLeaseIsSettledByTheRule) {
    const UnitLayout layout = TwoSources("sqlite:" + dir.File("units.db"));
    Result<PoolDealer::Opened> opened = PoolDealer::Open(layout, "L3", {"A1", "A2"});
    ASSERT_TRUE(opened) << opened.Failure().Describe();
    StationConfig config = Config();
    config.slot.unit = layout;
    config.units = opened->dealer.get();
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    // Each slot holds its first unit before any box speaks.
    const UnitData first = LastUnit(a1);
    EXPECT_EQ(first.fields, (std::vector<std::string>{"SN1000", "aa:bb:cc:00:00:01"}));
    EXPECT_EQ(LastUnit(a2).fields, (std::vector<std::string>{"SN1001", "aa:bb:cc:00:00:02"}));
    EXPECT_EQ(a1.Sent()[1].config.unit->fields.size(), 2u);

    // A1's box passes: its lease is used, and the next unit is dealt at once.
    a1.Hello();
    BoxLoads(a1);
    Served(a1, first, 0, false);
    Served(a1, first, 32, true);
    BoxPasses(a1, Judged("id-1", "A1", std::nullopt));
    // A2 dies mid-box: its box's record, made by the station, names the unit it was served,
    // the secret field as its hash, and the lease is spoiled.
    a2.Hello();
    BoxLoads(a2);
    Served(a2, LastUnit(a2), 0, false);
    a2.Crash(SIGKILL);
    Listen();
    ASSERT_EQ(heard.records.size(), 2u);
    EXPECT_EQ(heard.records[1].reasonCode, "slot-crashed");
    ASSERT_TRUE(heard.records[1].unit);
    EXPECT_EQ((*heard.records[1].unit)[0],
              std::make_pair(std::string("serial"), std::string("SN1001")));
    EXPECT_TRUE((*heard.records[1].unit)[1].second.starts_with("sha256:"));
    EXPECT_EQ(heard.records[1].servedSha256, std::string(64, 'e'));
    const UnitData second = LastUnit(a1);
    EXPECT_EQ(second.fields[0], "SN1002");

    // A1's next box fails before a byte of its region reached the port: its values are free
    // again, and given once more, to A2 started again.
    BoxLoads(a1);
    Served(a1, second, 0, false);
    Served(a1, second, 0, true);
    BoxRecord lost = Judged("id-2", "A1", std::nullopt);
    lost.result = BoxResult::Fail;
    lost.reasonCode = "port-lost";
    a1.Say(RecordMessage(lost));
    a1.Event(DownloadEnded{EndReason::PortLost, {}, {}});
    Listen();
    EXPECT_EQ(LastUnit(a1).fields[0], "SN1002") << "nothing of it reached the port";
    Advance(Station::kTick);
    ASSERT_EQ(slots_.Starts(1), 2u);
    MemoryTransport::Peer& a2again = *slots_.At(1, 1);
    EXPECT_EQ(LastUnit(a2again).fields, (std::vector<std::string>{"SN1003", "aa:bb:cc:00:00:04"}))
        << "the spoiled SN1001 is never given again";
    EXPECT_EQ(heard.SaidStarting("unit pool low: mac has 2 value(s) left (warn_below = 3)"), 1);
    ASSERT_FALSE(heard.changed.empty());
    EXPECT_EQ(heard.changed.back().warning,
              "unit pool low: mac has 2 value(s) left (warn_below = 3)")
        << "shown on every slot, and so on the broker";

    // The list runs dry: the slot that asks is told why, every slot finishes, and the station
    // ends with 9. What A1 held unserved when it ended well is free again.
    a2again.Hello();
    BoxLoads(a2again);
    Served(a2again, LastUnit(a2again), 32, true);
    BoxPasses(a2again, Judged("id-3", "A2", std::nullopt));
    Listen();
    const UnitData refusal = LastUnit(a2again);
    ASSERT_TRUE(refusal.refusal);
    EXPECT_EQ(refusal.why, "unit pool empty: mac");
    EXPECT_TRUE(heard.Said("A2: unit pool empty: mac; no further box is served"));
    EXPECT_TRUE(a1.Got(Kind::Finish));
    a1.Exit(0);
    a2again.Exit(kExitUnitPool);
    Listen();
    ASSERT_TRUE(station->Done());
    EXPECT_EQ(ExitStatusFor(station->End()), kExitUnitPool);
    Result<std::unique_ptr<UnitPool>> pool = UnitPool::Open(*ParseStoreUrl(layout.store));
    ASSERT_TRUE(pool);
    Result<std::vector<UnitPool::Count>> counts = (*pool)->Counts(PoolSourcesOf(layout));
    ASSERT_TRUE(counts);
    EXPECT_EQ((*counts)[1].used, 2);
    EXPECT_EQ((*counts)[1].spoiled, 1);
    EXPECT_EQ((*counts)[1].leased, 0);
    EXPECT_EQ((*counts)[1].free, 1) << "the MAC A1 held when it ended";
    EXPECT_EQ((*counts)[1].next, "aa:bb:cc:00:00:03");
}

TEST(StationEnd, ASignalWinsOverARecordNotWrittenOverAWrongImageOverUnservableOverFailed) {
    EXPECT_EQ(ExitStatusFor(StationEnd{}), 0);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, false, true}), 1);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, false, true, false, true}), kExitUnitPool);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, true, true, false, true}), 2);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, true, true}), 2);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, true, true, true}), 6);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, true, true, true, true}), 8);
    EXPECT_EQ(ExitStatusFor(StationEnd{15, true, true, true, true}), 143);
    EXPECT_EQ(ExitStatusFor(StationEnd{1, false, false, false}), 129);
}

}  // namespace
