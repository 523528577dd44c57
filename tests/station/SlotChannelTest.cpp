// The channel between a station and its slot: the session's events read back as they were
// written (a status as a word, and as the number the first captures hold), frames cut anywhere
// and a frame that cannot be read, the messages both ways, and the slot's end of a real socket
// pair: its hello and configuration, the station's orders, a station that goes away, and the
// station's copy of the slot's session judging a box whose process died.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "record/BoxRecordCodec.h"
#include "slot/SlotChannel.h"
#include "slot/SlotChannelEnd.h"

namespace {

// The station's end of a socket pair, read and written by the test.
class StationSide {
  public:
    StationSide() {
        int pair[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        m_fd = pair[0];
        slotFd = pair[1];
    }
    ~StationSide() { Close(); }
    void Close() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    void Send(const Json& message) {
        const std::string frame = FrameOf(message);
        EXPECT_EQ(write(m_fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    }
    // The next frame from the slot; nothing when none comes in a few seconds (a hang, not a
    // measurement).
    std::optional<Json> Next() {
        for (;;) {
            if (std::optional<Json> frame = m_frames.Next()) {
                return frame;
            }
            pollfd fd{m_fd, POLLIN, 0};
            char buffer[4096];
            ssize_t n = 0;
            if (poll(&fd, 1, 10000) != 1 || (n = read(m_fd, buffer, sizeof buffer)) <= 0) {
                return std::nullopt;
            }
            m_frames.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
    }
    std::optional<UpMessage> NextUp() {
        const std::optional<Json> frame = Next();
        return frame ? UpMessageFromJson(*frame) : std::nullopt;
    }

    int slotFd = -1;

  private:
    int m_fd = -1;
    FrameReader m_frames;
};

DownloadStarted Started() {
    DownloadStarted started;
    started.imagePath = "/img/\xFFodd name.sdl";
    started.imageSize = 100000;
    started.imageSha256 = std::string(64, 'e');
    started.portName = "COM5";
    started.device = "/dev/ttyUSB0";
    started.baud = 921600;
    return started;
}

SlotConfig AConfig() {
    SlotConfig c;
    c.label = "A1";
    c.port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0";
    c.number = 7;
    c.image = "/srv/fw.sdl";
    c.ini = "/tmp/x/slot1.ini";
    c.debug = c.loop = c.timestamps = true;
    c.count = 3;
    c.timeoutSeconds = 30;
    c.logDir = "logs";
    c.boxId = "Serial number: (\\w+)";
    c.sha256 = std::string(64, 'a');
    c.captureDir = "caps";
    c.captureMax = 1 << 20;
    c.baud = 9600;
    c.requireWhole = true;
    c.labelZpl = "^XA^FD{box_id} \xe4\x01^FS^XZ\n";  // Latin-1 and a control byte kept
    c.printer = "tcp://10.0.3.7:9100";
    c.made = RecordProvenance{"1.0.0.1", "pc3", "L3", "Ann", std::nullopt};
    return c;
}

TEST(SessionEventCodec, EveryEventReadsBackAndAStatusIsAWordOrTheOldNumber) {
    RequestAnswered request;
    request.offset = 0xFFFF0000;
    request.length = 4096;
    request.sent = 4096;
    request.position = 8192;
    request.imageSize = 100000;
    request.bytesSent = request.distinctSent = request.distinctAsked = 8192;
    request.requests = 2;
    const SysFailure busy(SysResult{SysStatus::Busy, "open", 16}, "/dev/ttyUSB0");
    const std::vector<SessionEvent> events{
        Started(),
        FirstFrameSeen{},
        request,
        TimeAsked{},
        SlotStateChanged{SlotState::PortBusy, busy},
        DownloadEnded{EndReason::BoxSilent, {}, std::chrono::seconds(30)},
        BoxSpoke{},
        BoxSpoke{"SN4711"},
    };
    for (const SessionEvent& event : events) {
        const std::string line = JsonLine(SessionEventJson(event));
        const std::optional<SessionEvent> read = SessionEventFromJson(*ParseJsonObject(line));
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->index(), event.index()) << line;
        EXPECT_EQ(JsonLine(SessionEventJson(*read)), line);
    }
    const std::string state = JsonLine(SessionEventJson(events[4]));
    EXPECT_NE(state.find(R"("status":"busy","errno":16,"text":"/dev/ttyUSB0: open: )"),
              std::string::npos)
        << state;
    EXPECT_NE(JsonLine(SessionEventJson(events[0])).find("\"image\":\"/img/\xEF\xBF\xBDodd"),
              std::string::npos);
    EXPECT_EQ(JsonLine(SessionEventJson(events[7])), R"({"event":"spoke","box_id":"SN4711"})")
        << "a reader that knows no box_id still hears that the box spoke";
    EXPECT_EQ(std::get<DownloadStarted>(*SessionEventFromJson(SessionEventJson(events[0]))).baud,
              921600u);
    // A slot or capture from before the rate could be chosen ran at 115200.
    const std::optional<SessionEvent> before =
        SessionEventFromJson(*ParseJsonObject(R"({"event":"started","image":"i","size":3})"));
    ASSERT_TRUE(before);
    EXPECT_EQ(std::get<DownloadStarted>(*before).baud, 115200u);

    // The first captures wrote a failure's status as its number: it still reads.
    const std::optional<SessionEvent> old = SessionEventFromJson(
        *ParseJsonObject(R"({"event":"ended","reason":"port-lost","failure":{"status":7,"errno":5,)"
                         R"("text":"/dev/ttyUSB0: read: Input/output error"},"silence":0})"));
    ASSERT_TRUE(old);
    const DownloadEnded& lost = std::get<DownloadEnded>(*old);
    EXPECT_EQ(lost.reason, EndReason::PortLost);
    EXPECT_EQ(lost.failure.result.status, SysStatus::Lost);
    EXPECT_EQ(lost.failure.result.sysErrno, 5);
    EXPECT_EQ(lost.failure.Describe(), "/dev/ttyUSB0: read: Input/output error");
    // What names nothing is nothing; a status no word or number names is no failure.
    EXPECT_FALSE(SessionEventFromJson(*ParseJsonObject(R"({"event":"state","state":"dancing"})")));
    EXPECT_FALSE(SessionEventFromJson(*ParseJsonObject(R"({"event":"ended","reason":"bored"})")));
    EXPECT_FALSE(SessionEventFromJson(*ParseJsonObject(R"({"event":"beat"})")));
    for (const char* status : {R"("weird")", "99", "0", R"("ok")"}) {
        EXPECT_FALSE(SysFailureFromJson(*ParseJsonObject(std::string(R"({"status":)") + status +
                                                         R"(,"text":"x"})"))
                         .Failed())
            << status;
    }
}

TEST(SlotChannel, FramesSurviveAnyCutAndAFrameThatCannotBeReadBreaksTheStream) {
    const std::string stream =
        FrameOf(HelloMessage()) + FrameOf(ConfigMessage(AConfig())) + FrameOf(StopMessage());
    FrameReader reader;
    std::vector<DownMessage::Kind> kinds;
    for (const char byte : stream) {
        reader.Feed(std::string_view(&byte, 1));
        while (const std::optional<Json> frame = reader.Next()) {
            kinds.push_back(DownMessageFromJson(*frame)->kind);
        }
    }
    EXPECT_EQ(kinds, (std::vector{DownMessage::Kind::Hello, DownMessage::Kind::Config,
                                  DownMessage::Kind::Stop}));
    EXPECT_FALSE(reader.Partial());

    const auto broken = [](const std::string& bytes) {
        FrameReader r;
        r.Feed(bytes);
        return !r.Next() && r.Broken();
    };
    const std::string over{'\x00', '\x10', '\x00', '\x01'};  // 1 MiB and a byte
    EXPECT_TRUE(broken(over));
    EXPECT_TRUE(broken(std::string{'\0', '\0', '\0', '\3'} + "[1]"));
    EXPECT_TRUE(broken(std::string{'\0', '\0', '\0', '\2'} + "{x"));
    const std::string deep = std::string(40, '[') + std::string(40, ']');
    EXPECT_TRUE(broken(std::string{'\0', '\0', '\0', static_cast<char>(deep.size() + 6)} +
                       "{\"a\":" + deep + "}"));
    // A frame cut short is no frame yet, and no fault.
    FrameReader cut;
    cut.Feed(FrameOf(StopMessage()).substr(0, 7));
    EXPECT_FALSE(cut.Next());
    EXPECT_FALSE(cut.Broken());
    EXPECT_TRUE(cut.Partial());
}

TEST(SlotChannel, EveryMessageReadsBackAndWhatIsNoneIsRefused) {
    const SlotConfig config = AConfig();
    const std::optional<DownMessage> down =
        DownMessageFromJson(*ParseJsonObject(JsonLine(ConfigMessage(config))));
    ASSERT_TRUE(down);
    EXPECT_EQ(down->config, config);
    Json wrong = SlotConfigJson(config);
    wrong["timeout"] = "30";
    EXPECT_FALSE(SlotConfigFromJson(wrong));
    wrong = SlotConfigJson(config);
    wrong["image"] = nullptr;
    EXPECT_FALSE(SlotConfigFromJson(wrong)) << "no image, nothing to serve";
    wrong = SlotConfigJson(config);
    wrong["baud"] = 0;
    EXPECT_FALSE(SlotConfigFromJson(wrong)) << "no line runs at 0 baud";
    wrong = SlotConfigJson(config);
    wrong["label_zpl_hex"] = "5e5";
    EXPECT_FALSE(SlotConfigFromJson(wrong)) << "half a byte";
    // A station of before the rate and the whole image could be asked for.
    Json older = SlotConfigJson(config);
    older.erase("baud");
    older.erase("require_whole");
    older.erase("label_zpl_hex");
    older.erase("printer");
    ASSERT_TRUE(SlotConfigFromJson(older));
    EXPECT_FALSE(SlotConfigFromJson(older)->printer) << "no label before labels";
    EXPECT_EQ(SlotConfigFromJson(older)->baud, 115200u);
    EXPECT_FALSE(SlotConfigFromJson(older)->requireWhole);

    // A scan travels with its refusal, so that no refusal is parted from its box.
    for (const SlotInput& input :
         {SlotInput{SlotInput::Kind::ScannedBoxId, "SN4711", {}, {}},
          SlotInput{SlotInput::Kind::ScannedBoxId, "SN4711", {}, "box SN4711 already passed"},
          SlotInput{SlotInput::Kind::BoxRefused, "SN\x01", {}, "box SN\\x01 already passed"}}) {
        EXPECT_EQ(DownMessageFromJson(InputMessage(input))->input, input);
    }
    // A unit's data, its fields' texts as bytes, and why there is none, read back; a unit with
    // neither a lease nor a refusal this version knows is no message.
    SlotInput unit{
        SlotInput::Kind::UnitData, {}, {"7d3c", {"SN00001000", "\xff\"k\x01"}, {}, {}}, {}};
    const std::optional<DownMessage> given =
        DownMessageFromJson(*ParseJsonObject(JsonLine(InputMessage(unit))));
    ASSERT_TRUE(given);
    EXPECT_EQ(given->input.unit.fields[0], "SN00001000");
    EXPECT_EQ(given->input.unit.lease, "7d3c");
    unit.unit = UnitData{{}, {}, EndReason::UnitPoolEmpty, "unit pool empty: mac"};
    EXPECT_EQ(DownMessageFromJson(InputMessage(unit))->input, unit);
    for (const char* bad :
         {R"({"kind":"input","input":"unit-data","unit":{"fields":["a"]}})",
          R"({"kind":"input","input":"unit-data","unit":{"refusal":"port-lost","why":"x"}})",
          R"({"kind":"input","input":"unit-data","unit":{"lease":"l","fields":[1]}})",
          R"({"kind":"input","input":"unit-data"})"}) {
        EXPECT_FALSE(DownMessageFromJson(*ParseJsonObject(bad))) << bad;
    }
    const UnitReport report{"7d3c", 250, 256, std::string(64, 'e'), true};
    const std::optional<UpMessage> told = UpMessageFromJson(UnitMessage(report));
    ASSERT_TRUE(told);
    EXPECT_EQ(told->kind, UpMessage::Kind::Unit);
    EXPECT_EQ(told->unit, report);
    EXPECT_EQ(
        UpMessageFromJson(
            *ParseJsonObject(R"({"kind":"unit","unit":{"lease":"l","reached":9,"length":4}})"))
            ->unit.reached,
        4)
        << "no more of the region reached the port than it holds";
    EXPECT_FALSE(UpMessageFromJson(*ParseJsonObject(R"({"kind":"unit","unit":{"reached":1}})")));

    // The region and its fields go down with the configuration; where the values come from
    // stays with the station. Offsets a slot would write past its region by are refused.
    UnitLayout shape;
    shape.offset = 0x1F000;
    shape.length = 256;
    shape.fields = {UnitField{"serial", 0, 16, UnitFormat::Ascii, 0, 0, false},
                    UnitField{"key", 32, 32, UnitFormat::Hex, 0, 0, true}};
    shape.checksum = UnitChecksum{0x1F000, 0x1F0FC, 0x1F0FC, true};
    UnitLayout whole = shape;
    whole.store = "sqlite:/srv/units.db";
    whole.sources.resize(2);
    whole.warnBelow = 500;
    SlotConfig withUnit = config;
    withUnit.unit = whole;
    EXPECT_EQ(SlotConfigFromJson(SlotConfigJson(withUnit))->unit, shape);
    for (const auto& [key, value] : std::vector<std::pair<std::string, Json>>{
             {"at", 250}, {"length", 0}, {"format", "base64"}}) {
        Json wrongUnit = SlotConfigJson(withUnit);
        wrongUnit["unit"]["fields"][0][key] = value;
        EXPECT_FALSE(SlotConfigFromJson(wrongUnit)) << key;
    }
    Json wrongSum = SlotConfigJson(withUnit);
    wrongSum["unit"]["checksum"]["at"] = 0x1F0FD;
    EXPECT_FALSE(SlotConfigFromJson(wrongSum)) << "its 4 bytes would end past the region";
    EXPECT_EQ(DownMessageFromJson(*ParseJsonObject(R"({"kind":"input","input":"weight"})"))->kind,
              DownMessage::Kind::UnknownInput)
        << "a later station's input is passed over, not a fault";
    EXPECT_FALSE(DownMessageFromJson(*ParseJsonObject(R"({"kind":"reboot"})")));
    EXPECT_FALSE(DownMessageFromJson(*ParseJsonObject(R"({"kind":"hello"})")));

    BoxRecord record;
    record.id = "0b6c";
    record.slot = "A1";
    record.result = BoxResult::Aborted;
    record.reason = "stopped by the operator";
    record.start = record.end = *FromIsoUtcMillis("2026-12-07T02:31:07.120Z");
    record.boxId = "SN4711";
    const std::optional<UpMessage> up = UpMessageFromJson(RecordMessage(record));
    ASSERT_TRUE(up);
    EXPECT_EQ(BoxRecordLine(up->record), BoxRecordLine(record));
    EXPECT_FALSE(UpMessageFromJson(*ParseJsonObject(R"({"kind":"record","record":{"id":"x"}})")));
    EXPECT_FALSE(UpMessageFromJson(*ParseJsonObject(R"({"kind":"event","event":{}})")));
    const std::optional<UpMessage> ending = UpMessageFromJson(EndingMessage(10, "wrong image"));
    EXPECT_EQ(ending->status, 10);
    EXPECT_EQ(ending->text, "wrong image");
}

// Orders the slot's end hands on, from its reader thread.
struct Orders {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> heard;

    SlotChannelEnd::Orders Take() {
        const auto note = [this](const std::string& what) {
            const std::lock_guard lock(mutex);
            heard.push_back(what);
            changed.notify_all();
        };
        return {[note] { note("finish"); }, [note] { note("stop"); },
                [note](const SlotInput& input) { note("input " + input.value); }};
    }
    std::vector<std::string> WaitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return heard.size() >= count; });
        return heard;
    }
};

TEST(SlotChannel, TheSlotsEndTakesItsConfigurationAndHandsOnOrdersAndAStationThatWent) {
    {
        StationSide station;
        SlotChannelEnd slot(station.slotFd);
        station.Send(HelloMessage());
        station.Send(ConfigMessage(AConfig()));
        // What comes after the configuration is kept for the orders.
        station.Send(FinishMessage());
        const Result<SlotConfig> config = slot.Open(std::chrono::seconds(10));
        ASSERT_TRUE(config) << config.Failure().Describe();
        EXPECT_EQ(*config, AConfig());
        const std::optional<UpMessage> hello = station.NextUp();
        ASSERT_TRUE(hello);
        EXPECT_EQ(hello->kind, UpMessage::Kind::Hello);
        EXPECT_EQ(hello->version, kSlotChannelVersion);

        Orders orders;
        slot.Listen(orders.Take());
        station.Send(InputMessage({SlotInput::Kind::ScannedBoxId, "MAC 00:11", {}, {}}));
        station.Send(*ParseJsonObject(R"({"kind":"input","input":"weight","value":"3"})"));
        station.Send(StopMessage());
        EXPECT_EQ(orders.WaitFor(3),
                  (std::vector<std::string>{"finish", "input MAC 00:11", "stop"}));
        // The station goes away: that is a stop too, said once.
        station.Close();
        EXPECT_EQ(orders.WaitFor(4).back(), "stop");
        slot.Deafen();
    }
    {
        // A station of another version is refused with both versions named.
        StationSide station;
        SlotChannelEnd slot(station.slotFd);
        station.Send(Json{{"kind", "hello"}, {"version", kSlotChannelVersion + 1}});
        const Result<SlotConfig> config = slot.Open(std::chrono::seconds(10));
        ASSERT_FALSE(config);
        EXPECT_EQ(config.Failure().Describe(),
                  VersionMismatch(kSlotChannelVersion, kSlotChannelVersion + 1));
        EXPECT_EQ(VersionMismatch(1, 2),
                  "the slot speaks version 1 of the station's channel, the station version 2");
    }
}

struct Ends final : BoxSession::Sink {
    std::vector<SessionEnd> ends;
    void OnSessionEnded(const SessionEnd& end) override { ends.push_back(end); }
};

// The slot's side: its session and its end of the channel, as a slot's process wires them.
struct SlotSide final : BoxSession::Sink {
    explicit SlotSide(int fd) : channel(fd) {}
    void OnSlotState(SlotState state, const SysFailure& why) override {
        channel.OnSlotState(state, why);
    }
    void OnSessionEnded(const SessionEnd& end) override { channel.OnSessionEnded(end); }
    // The download tells the session first, then the channel, as the dialog does.
    template <typename Call>
    void Tell(Call call) {
        call(static_cast<DownloadObserver&>(session));
        call(static_cast<DownloadObserver&>(channel));
    }

    SlotChannelEnd channel;
    BoxSession session{BoxSlot{"A1", "/dev/ttyUSB0", {}, {}, {}, {}}, false, this};
};

TEST(SlotChannel, TheStationKeepsTheSlotsSessionAndJudgesABoxWhoseProcessDied) {
    StationSide station;
    SlotSide slot(station.slotFd);
    Ends heard;
    BoxSession copy{BoxSlot{"A1", "/dev/ttyUSB0", {}, {}, {}, {}}, false, &heard};
    // Everything up to the next beat, applied to the station's copy as the supervisor does. A
    // beat first sends the figures held back for the rate limit, if any.
    const auto hearUntilBeat = [&](std::optional<BoxRecord>* record) {
        slot.channel.Beat();
        slot.channel.Beat();
        for (std::optional<UpMessage> up; (up = station.NextUp());) {
            if (up->kind == UpMessage::Kind::Beat) {
                return;
            }
            if (up->kind == UpMessage::Kind::Record && record != nullptr) {
                *record = up->record;
            }
            if (up->kind == UpMessage::Kind::Event) {
                ApplySessionEvent(up->event, copy);
            }
        }
        ADD_FAILURE() << "the channel ended before its beat";
    };
    slot.Tell([](DownloadObserver& o) { o.OnStarted(Started()); });
    slot.Tell([](DownloadObserver& o) { o.OnFirstFrame(); });
    RequestAnswered r;
    r.imageSize = 100000;
    for (int i = 1; i <= 3; ++i) {
        r.offset = static_cast<std::uint32_t>((i - 1) * 10000);
        r.length = 10000;
        r.position = i * 10000;
        r.sent = 10000;
        r.bytesSent = r.distinctSent = r.distinctAsked = i * 10000;
        r.requests = i;
        slot.Tell([&](DownloadObserver& o) { o.OnRequestAnswered(r); });
    }
    hearUntilBeat(nullptr);
    EXPECT_EQ(copy.State(), SlotState::Loading);
    EXPECT_TRUE(copy.InSession());

    // The slot's process is killed: the figures it held back for the rate limit went out with
    // the beat, so the station's copy judges the box with all of them.
    DownloadEnded crash;
    crash.reason = EndReason::SlotCrashed;
    crash.failure =
        SysFailure(SysResult{SysStatus::Failed, "", 0}, "", "the slot's process ended by signal 9");
    copy.OnEnded(crash);
    ASSERT_EQ(heard.ends.size(), 1u);
    ASSERT_TRUE(heard.ends[0].record);
    const BoxRecord& record = *heard.ends[0].record;
    EXPECT_EQ(record.result, BoxResult::Fail);
    EXPECT_TRUE(record.reason.starts_with("the slot's process ended by signal 9 at 30 % "))
        << record.reason;
    EXPECT_EQ(record.imageSha256, std::string(64, 'e'));
    EXPECT_EQ(record.bytes, 30000);
    EXPECT_EQ(copy.State(), SlotState::Failed);

    // A box the slot judged itself: its typed record reaches the station before the end.
    slot.Tell([](DownloadObserver& o) { o.OnStarted(Started()); });
    slot.Tell([](DownloadObserver& o) { o.OnFirstFrame(); });
    slot.Tell([](DownloadObserver& o) { o.OnEnded(DownloadEnded{EndReason::Passed, {}, {}}); });
    std::optional<BoxRecord> sent;
    hearUntilBeat(&sent);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->result, BoxResult::Pass);
    EXPECT_EQ(sent->image, "/img/\xEF\xBF\xBDodd name.sdl");
    ASSERT_EQ(heard.ends.size(), 2u);
    EXPECT_EQ(heard.ends[1].ended.reason, EndReason::Passed);
    EXPECT_EQ(copy.State(), SlotState::Passed);
}

}  // namespace
