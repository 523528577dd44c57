#include <cstring>

#include <gtest/gtest.h>

#include "hosts/wx/ToneBeep.h"

namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::int16_t Sample(const std::vector<std::uint8_t>& b, std::size_t i) {
    return static_cast<std::int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
}

}  // namespace

TEST(ToneWav, IsAPlayableWaveOfTheAskedPitchAndLength) {
    const std::vector<std::uint8_t> wav = MakeToneWav(700, 100, 22050);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Read32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Read32(wav, 24), 22050u);
    const std::size_t samples = Read32(wav, 40) / 2;
    EXPECT_EQ(samples, 2205u);  // 100 ms
    EXPECT_EQ(wav.size(), 44 + 2 * samples);
    // Upward zero crossings count the periods: 70 in 100 ms at 700 Hz.
    int crossings = 0;
    for (std::size_t i = 1; i < samples; ++i) {
        if (Sample(wav, i - 1) < 0 && Sample(wav, i) >= 0) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 70, 1);
    // Faded in and out, so it starts and ends silent.
    EXPECT_EQ(Sample(wav, 0), 0);
    EXPECT_LE(std::abs(Sample(wav, samples - 1)), 200);
}
