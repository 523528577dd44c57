// A box that goes quiet, told through its session in memory on a clock the test moves: its
// figures say it is stalled once it has sent nothing for two seconds beyond the time our last
// answer needs on the wire, with how long, a rate of 0 and no time left; its next word ends it.

#include <gtest/gtest.h>

#include <vector>

#include "download/BoxSession.h"
#include "download/SessionEventCodec.h"

namespace {

using namespace std::chrono_literals;

struct Heard final : BoxSession::Sink {
    std::vector<ProgressFigures> figures;
    void OnProgress(const ProgressFigures& f) override { figures.push_back(f); }
};

RequestAnswered Request(std::int64_t position, std::int64_t sent) {
    RequestAnswered r;
    r.position = position;
    r.sent = sent;
    r.length = static_cast<std::uint16_t>(sent);
    r.imageSize = 65536;
    return r;
}

TEST(ProgressFigures, AQuietBoxIsStalledForAsLongAsItStaysQuietAndItsNextWordEndsIt) {
    Heard heard;
    BoxSession session(BoxSlot{"A1", "/dev/x", {}, {}, {}, {}}, false, &heard);
    BoxSession::Clock::time_point now{};
    session.SetClock([&now] { return now; });
    session.OnStarted(DownloadStarted{"image.sdl", 65536, "ab", "COM1", "/dev/x", {}});
    session.OnFirstFrame();
    // Small blocks: their time on the wire is a few milliseconds.
    session.OnRequestAnswered(Request(4096, 4096));
    now += 1s;
    session.OnRequestAnswered(Request(16384, 12288));
    ASSERT_EQ(heard.figures.size(), 2u);
    EXPECT_GT(heard.figures.back().rate, 0);
    EXPECT_TRUE(heard.figures.back().etaSeconds);

    now += 1900ms;  // 1.9 s, less the last answer's 1.07 s on the wire
    session.Tick();
    EXPECT_EQ(heard.figures.size(), 2u) << "not yet";
    now += 1300ms;
    session.Tick();
    ASSERT_EQ(heard.figures.size(), 3u);
    EXPECT_EQ(heard.figures.back().stalledSeconds, 2);
    EXPECT_EQ(heard.figures.back().rate, 0);
    EXPECT_FALSE(heard.figures.back().etaSeconds);
    EXPECT_EQ(heard.figures.back().percent, 25) << "where it stopped";
    session.Tick();
    EXPECT_EQ(heard.figures.size(), 3u) << "the same second is no news";
    now += 4s;
    session.Tick();
    EXPECT_EQ(heard.figures.back().stalledSeconds, 6);

    // Console text is a word from the box: no longer stalled, though it is given nothing.
    session.OnConsoleText("writing flash\r\n");
    ASSERT_EQ(heard.figures.size(), 5u);
    EXPECT_FALSE(heard.figures.back().stalledSeconds);
    EXPECT_EQ(heard.figures.back().rate, 0);
    session.OnConsoleText("...");
    now += 1s;
    session.Tick();
    EXPECT_EQ(heard.figures.size(), 5u) << "within the bound of its word";
    now += 1s;
    session.Tick();
    EXPECT_EQ(heard.figures.back().stalledSeconds, 2);
    // A station's copy hears the text as the slot's "spoke", through the events' codec.
    const std::optional<SessionEvent> spoke =
        SessionEventFromJson(*ParseJsonObject(JsonLine(SessionEventJson(BoxSpoke{}))));
    ASSERT_TRUE(spoke && std::holds_alternative<BoxSpoke>(*spoke));
    ApplySessionEvent(*spoke, session);
    EXPECT_FALSE(heard.figures.back().stalledSeconds);
    now += 2s;
    session.Tick();
    EXPECT_EQ(heard.figures.back().stalledSeconds, 2);
    session.OnRequestAnswered(Request(65536, 49152));
    EXPECT_FALSE(heard.figures.back().stalledSeconds);
    EXPECT_GT(heard.figures.back().rate, 0);

    // The largest answer takes 5.7 s on the wire at 115200 baud: the box is given that long.
    session.OnRequestAnswered(Request(65536, 65535));
    const std::size_t before = heard.figures.size();
    now += 7s;
    session.Tick();
    EXPECT_EQ(heard.figures.size(), before);
    now += 1s;
    session.Tick();
    EXPECT_EQ(heard.figures.back().stalledSeconds, 2);

    // A session that has ended is not ticked into a stall.
    session.OnEnded(DownloadEnded{EndReason::Passed, {}, {}});
    const std::size_t ended = heard.figures.size();
    now += 10s;
    session.Tick();
    EXPECT_EQ(heard.figures.size(), ended);
    EXPECT_FALSE(heard.figures.back().stalledSeconds) << "a box that ended is complete";
}

}  // namespace
