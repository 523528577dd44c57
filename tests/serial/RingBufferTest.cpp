#include "serial/RingBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

BYTE Pattern(std::uint32_t i) {
    return static_cast<BYTE>(i ^ (i >> 8) ^ (i >> 16));
}

TEST(RingBuffer, HoldsAtMost4191AndAFullBufferDropsWithoutChange) {
    CRingBuffer ring;
    // Empty: nothing is taken, whatever the wait, and the destination is left alone.
    BYTE b = 0xAB;
    EXPECT_EQ(ring.GetByte(&b, 0), 0);
    EXPECT_EQ(ring.GetByte(&b, -5), 0);
    EXPECT_EQ(ring.GetByte(&b, 15), 0);
    EXPECT_EQ(b, 0xAB);
    for (int i = 0; i < RING_BUFFER_SIZE - 1; ++i) {
        ASSERT_EQ(ring.PutByte(Pattern(i)), 1) << i;
    }
    EXPECT_EQ(ring.GetCount(), 4191);
    EXPECT_EQ(ring.PutByte(0xEE), 0);
    EXPECT_EQ(ring.GetCount(), 4191);

    // Take one, put one: full again, and the next put is refused.
    ASSERT_EQ(ring.GetByte(&b, 0), 1);
    EXPECT_EQ(b, Pattern(0));
    EXPECT_EQ(ring.PutByte(0x42), 1);
    EXPECT_EQ(ring.PutByte(0x43), 0);
    EXPECT_EQ(ring.GetCount(), 4191);

    for (int i = 1; i < RING_BUFFER_SIZE - 1; ++i) {
        ASSERT_EQ(ring.GetByte(&b, 0), 1);
        ASSERT_EQ(b, Pattern(i)) << i;
    }
    ASSERT_EQ(ring.GetByte(&b, 0), 1);
    EXPECT_EQ(b, 0x42);
    EXPECT_EQ(ring.GetCount(), 0);
}

TEST(RingBuffer, AByteArrivingDuringTheWaitIsReturnedByIt) {
    CRingBuffer ring;
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ring.PutByte(0x5A);
    });
    BYTE b = 0;
    EXPECT_EQ(ring.GetByte(&b, 10000), 1);
    EXPECT_EQ(b, 0x5A);
    producer.join();
}

// One producer and one consumer on two threads, the indices wrapping some 2,400 times;
// ThreadSanitizer checks the memory ordering, the comparison that no byte is lost, duplicated or
// reordered.
TEST(RingBuffer, TwoThreadsMoveTenMillionBytesInOrder) {
    constexpr std::uint32_t kTotal = 10'000'000;
    CRingBuffer ring;
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < kTotal; ++i) {
            while (ring.PutByte(Pattern(i)) == 0) {
                std::this_thread::yield();
            }
        }
    });
    std::uint32_t mismatches = 0;
    std::uint32_t firstBad = kTotal;
    for (std::uint32_t i = 0; i < kTotal; ++i) {
        BYTE b = 0;
        while (ring.GetByte(&b, 0) == 0) {
            std::this_thread::yield();
        }
        if (b != Pattern(i)) {
            firstBad = std::min(firstBad, i);
            ++mismatches;
        }
    }
    producer.join();
    EXPECT_EQ(mismatches, 0u) << "first wrong byte at " << firstBad;
    EXPECT_EQ(ring.GetCount(), 0);
}

}  // namespace
