// What a slot's process tells its station, read back into the station's copy of the box's
// session: the same story on both sides, and a full record when the slot's process dies mid-box.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "download/BoxSession.h"
#include "platform/host/ConsoleOutput.h"
#include "station/ChildEvents.h"
#include "station/SlotWire.h"

namespace {

struct Ends final : BoxSession::Sink {
    std::vector<SessionEnd> ends;
    void OnSessionEnded(const SessionEnd& end) override { ends.push_back(end); }
};

// The slot's side: its session and the events it sends, as the slot's process wires them.
struct SlotSide final : BoxSession::Sink {
    explicit SlotSide(int fd) : events(fd) {}
    void OnSlotState(SlotState state, const SysFailure& why) override {
        events.OnSlotState(state, why);
    }
    void OnSessionEnded(const SessionEnd& end) override { events.OnSessionEnded(end); }
    // The download tells the session first, then the slot's line, as the dialog does.
    template <typename Call>
    void Tell(Call call) {
        call(static_cast<DownloadObserver&>(session));
        call(static_cast<DownloadObserver&>(events));
    }

    ChildEvents events;
    BoxSession session{BoxSlot{"A1", "/dev/ttyUSB0", {}, {}, {}, {}}, false, this};
};

std::vector<std::string> LinesFrom(int fd) {
    ConsoleOutput::Process().Drain();
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST(SlotWire, TheStationKeepsTheSlotsSessionAndJudgesABoxWhoseProcessDied) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    SlotSide slot(fds[1]);
    DownloadStarted started;
    started.imagePath = "/img/\xFFodd name.sdl";
    started.imageSize = 100000;
    started.imageSha256 = std::string(64, 'e');
    started.portName = "COM5";
    started.device = "/dev/ttyUSB0";
    slot.Tell([&](DownloadObserver& o) { o.OnStarted(started); });
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

    Ends station;
    BoxSession copy{BoxSlot{"A1", "/dev/ttyUSB0", {}, {}, {}, {}}, false, &station};
    for (const std::string& line : LinesFrom(fds[0])) {
        const std::optional<SlotLine> event = DecodeSlotLine(line);
        ASSERT_TRUE(event) << line;
        ApplySlotLine(*event, copy);
    }
    EXPECT_EQ(copy.State(), SlotState::Loading);
    EXPECT_TRUE(copy.InSession());
    EXPECT_FALSE(DecodeSlotLine("{\"event\":\"request\",\"offs")) << "a torn line is nothing";
    EXPECT_FALSE(DecodeSlotLine("{\"event\":\"state\",\"state\":\"dancing\"}"));

    // The slot's process is killed: its last answered figures reached the station (the ones
    // held back for the rate limit go out before any end, and the station has the rest).
    DownloadEnded crash;
    crash.reason = EndReason::SlotCrashed;
    crash.failure =
        SysFailure(SysResult{SysStatus::Failed, "", 0}, "", "the slot's process ended by signal 9");
    copy.OnEnded(crash);
    ASSERT_EQ(station.ends.size(), 1u);
    ASSERT_TRUE(station.ends[0].record);
    const BoxRecord& record = *station.ends[0].record;
    EXPECT_EQ(record.result, BoxResult::Fail);
    EXPECT_TRUE(record.reason.starts_with("the slot's process ended by signal 9 at "))
        << record.reason;
    EXPECT_EQ(record.imageSha256, std::string(64, 'e'));
    EXPECT_GE(record.bytes, 10000);
    EXPECT_EQ(copy.State(), SlotState::Failed);

    // A box the slot judged itself: its record reaches the station byte for byte.
    slot.Tell([&](DownloadObserver& o) { o.OnStarted(started); });
    slot.Tell([](DownloadObserver& o) { o.OnFirstFrame(); });
    slot.Tell([](DownloadObserver& o) { o.OnEnded(DownloadEnded{EndReason::Passed, {}, {}}); });
    std::string ended;
    for (const std::string& line : LinesFrom(fds[0])) {
        const std::optional<SlotLine> event = DecodeSlotLine(line);
        ASSERT_TRUE(event) << line;
        if (event->kind == SlotLine::Kind::Ended) {
            ended = JsonLine(event->record);
            EXPECT_EQ(event->ended.reason, EndReason::Passed);
        }
    }
    EXPECT_NE(ended.find("\"result\":\"pass\""), std::string::npos) << ended;
    EXPECT_NE(ended.find("\"image\":\"/img/\xEF\xBF\xBDodd name.sdl\""), std::string::npos)
        << ended;
    EXPECT_EQ(DecodeSlotLine(EncodeEnded(DownloadEnded{}, *ParseJsonObject(ended)))->record,
              *ParseJsonObject(ended));
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
