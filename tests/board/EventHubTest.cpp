// The fan-out to open pages: a page gets every result in order and only the last state of each
// slot that waited, a page that joins later gets nothing from before it, and a page that reads
// nothing is cut off at its bound without holding back the others.

#include <gtest/gtest.h>

#include <chrono>

#include "board/EventHub.h"

namespace {

std::string Drain(EventHub::Stream& stream) {
    std::string out;
    EXPECT_EQ(stream.Take(out, std::chrono::seconds(10)), EventHub::Stream::Taken::Frames);
    return out;
}

TEST(EventHubTest, ResultsAllArriveInOrderAndAWaitingStateGivesWayToItsSlotsNewerOne) {
    EventHub hub(EventHub::Limits{2, 1024});
    std::unique_ptr<EventHub::Stream> page = hub.Join();
    ASSERT_TRUE(page);
    hub.Publish("A1 loading 10\n", "slot A1");
    hub.Publish("A2 loading 50\n", "slot A2");
    hub.Publish("result 1\n");
    hub.Publish("A1 loading 20\n", "slot A1");
    hub.Publish("result 2\n");
    hub.Publish("A1 passed\n", "slot A1");
    std::unique_ptr<EventHub::Stream> later = hub.Join();
    ASSERT_TRUE(later);
    EXPECT_FALSE(hub.Join()) << "two streams at most";
    hub.Publish("A2 passed\n", "slot A2");

    EXPECT_EQ(Drain(*page), "result 1\nresult 2\nA1 passed\nA2 passed\n");
    EXPECT_EQ(Drain(*later), "A2 passed\n") << "nothing from before it joined";
    std::string none;
    EXPECT_EQ(page->Take(none, std::chrono::milliseconds(0)), EventHub::Stream::Taken::Quiet);
    EXPECT_EQ(none, "");

    // A page that reads nothing passes its bound with results and is ended; the other goes on.
    for (int i = 0; i < 100; ++i) {
        hub.Publish("result " + std::to_string(i) + " " + std::string(20, 'x') + "\n");
        hub.Publish("A1 state " + std::to_string(i) + "\n", "slot A1");
        if (i % 10 == 0) {
            EXPECT_FALSE(Drain(*later).empty());
        }
    }
    std::string rest;
    EXPECT_EQ(page->Take(rest, std::chrono::seconds(0)), EventHub::Stream::Taken::End);
    EXPECT_EQ(hub.Dropped(), 1u);
    EXPECT_NE(Drain(*later).find("A1 state 99\n"), std::string::npos);
    // States alone never cut a page off: each slot holds one.
    for (int i = 0; i < 10000; ++i) {
        hub.Publish("A1 state " + std::to_string(i) + "\n", "slot A1");
    }
    EXPECT_EQ(Drain(*later), "A1 state 9999\n");
    EXPECT_EQ(hub.Dropped(), 1u);

    hub.Close();
    EXPECT_EQ(later->Take(rest, std::chrono::seconds(10)), EventHub::Stream::Taken::End);
}

}  // namespace
