// The pacing arithmetic of the simulated box's line.
#include <gtest/gtest.h>

#include "tools/stbsim/LinePacer.h"

namespace {

TEST(LinePacer, KeepsBothDirectionsToTheLineRate) {
    using namespace std::chrono;
    LinePacer pacer(11520);
    EXPECT_TRUE(pacer.Paced());
    EXPECT_EQ(pacer.ByteTime(11520), seconds(1));
    EXPECT_EQ(pacer.ReceiveSlice(), 57u);
    const LinePacer::Clock::time_point t0{seconds(100)};
    // Two writes in a row queue behind each other; a write after an idle gap starts afresh.
    EXPECT_EQ(pacer.ReserveTransmit(5760, t0), t0 + milliseconds(500));
    EXPECT_EQ(pacer.ReserveTransmit(5760, t0), t0 + seconds(1));
    EXPECT_EQ(pacer.ReserveTransmit(1152, t0 + seconds(5)), t0 + milliseconds(5100));
    // Receiving: nothing is due before the first byte was seen.
    pacer.NoteArrival(t0);
    EXPECT_EQ(pacer.ReceiveDue(1152), t0 + milliseconds(100));
    pacer.Received(1152);
    EXPECT_EQ(pacer.ReceiveDue(1152), t0 + milliseconds(200));
    pacer.NoteArrival(t0 + seconds(2));
    EXPECT_EQ(pacer.ReceiveDue(0), t0 + seconds(2));

    LinePacer unpaced;
    EXPECT_FALSE(unpaced.Paced());
    EXPECT_EQ(unpaced.ReserveTransmit(100000, t0), t0);
}

}  // namespace
