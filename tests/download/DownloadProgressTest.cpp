#include "download/DownloadProgress.h"

#include <gtest/gtest.h>

#include "download/StbFrame.h"
#include "download/TransferRate.h"

TEST(DownloadProgress, PositionMovesInWholePercentStepsAndNeverGoesNegative) {
    EXPECT_EQ(ProgressPosition(0, 1000), 0);
    EXPECT_EQ(ProgressPosition(9, 1000), 0);
    EXPECT_EQ(ProgressPosition(10, 1000), 100);
    EXPECT_EQ(ProgressPosition(999, 1000), 9900);
    EXPECT_EQ(ProgressPosition(1000, 1000), 10000);
    EXPECT_EQ(ProgressPosition(2000, 1000), 20000);  // past the end: the bar clamps
    // An empty image: nothing requested shows nothing, anything requested shows it complete.
    EXPECT_EQ(ProgressPosition(0, 0), 0);
    EXPECT_EQ(ProgressPosition(512, 0), 10000);

    // Above 42,949,672 bytes a 32-bit product of offset and 100 would wrap; above 2 GiB a 32-bit
    // size would be negative. The position still rises steadily to 10000.
    for (const std::int64_t size : {std::int64_t{50'000'000}, std::int64_t{3'000'000'000}}) {
        std::int64_t last = 0;
        for (std::int64_t offset = 0; offset <= size; offset += size / 1000) {
            const std::int64_t position = ProgressPosition(offset, size);
            ASSERT_GE(position, last) << "size " << size << " offset " << offset;
            ASSERT_LE(position, 10000);
            last = position;
        }
        EXPECT_EQ(ProgressPosition(size, size), 10000);
    }
    EXPECT_EQ(ProgressText(3'000'000'000, 4'000'000'000), "( 3000000000 / 4000000000 ) Bytes");
}

// The box asks for a block only after the previous one arrived, so the rate counts the bytes
// up to the previous request over the time since the first: a block just asked for has not
// crossed the line yet and must not count.
TEST(TransferRate, CountsOnlyBlocksTheBoxHasReceived) {
    using namespace std::chrono_literals;
    TransferRate rate;
    const TransferRate::Clock::time_point t0{};
    rate.OnRequest(4096, t0);
    EXPECT_EQ(rate.BytesPerSecond(), 0.0);
    rate.OnRequest(8192, t0 + 500ms);
    EXPECT_DOUBLE_EQ(rate.BytesPerSecond(), 4096 / 0.5);
    rate.OnRequest(12288, t0 + 1000ms);
    EXPECT_DOUBLE_EQ(rate.BytesPerSecond(), 8192 / 1.0);

    rate.Restart();
    rate.OnRequest(100, t0 + 5000ms);
    EXPECT_EQ(rate.BytesPerSecond(), 0.0);
}
