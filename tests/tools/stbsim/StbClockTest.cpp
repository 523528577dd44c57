// The box's own clock arithmetic: the date rule the tool's answer is judged by.
#include <gtest/gtest.h>

#include "tools/stbsim/StbClock.h"

namespace {

std::tm Moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::array<uint8_t, 8> Answer(unsigned mjd, uint8_t h, uint8_t m, uint8_t s) {
    return {2, 3, static_cast<uint8_t>(mjd >> 8), static_cast<uint8_t>(mjd), h, m, s, 3};
}

TEST(StbClock, ModifiedJulianDatesOfKnownDays) {
    EXPECT_EQ(stbsim::ModifiedJulianDate(1970, 1, 1), 40587);
    EXPECT_EQ(stbsim::ModifiedJulianDate(2009, 5, 26), 54977);
    EXPECT_EQ(stbsim::ModifiedJulianDate(2010, 1, 1), 55197);
    EXPECT_EQ(stbsim::ModifiedJulianDate(2000, 2, 29), 51603);
    EXPECT_EQ(stbsim::ModifiedJulianDate(2100, 3, 1) - stbsim::ModifiedJulianDate(2100, 2, 28), 1);
}

TEST(StbClock, JudgesTimeAnswers) {
    const std::tm noon = Moment(2009, 5, 26, 12, 0, 0);
    const std::tm later = Moment(2009, 5, 26, 12, 0, 1);
    EXPECT_EQ(stbsim::CheckTimeAnswer(Answer(54977, 12, 0, 0).data(), noon, later, 3), "");
    EXPECT_EQ(stbsim::CheckTimeAnswer(Answer(54977, 12, 0, 4).data(), noon, later, 3), "");
    // Ten seconds off is a fault, and the message shows both clocks.
    const std::string late =
        stbsim::CheckTimeAnswer(Answer(54977, 12, 0, 10).data(), noon, later, 3);
    EXPECT_EQ(late,
              "the tool said 2009-05-26 12:00:10 (MJD 54977) but the box's local clock read "
              "2009-05-26 12:00:00 (MJD 54977) (02 03 D6 C1 0C 00 0A 03)");
    // One day off, same time of day.
    EXPECT_NE(stbsim::CheckTimeAnswer(Answer(54978, 12, 0, 0).data(), noon, later, 3), "");
    // Not a time frame at all.
    auto bad = Answer(54977, 12, 0, 0);
    bad[7] = 0x04;
    EXPECT_NE(stbsim::CheckTimeAnswer(bad.data(), noon, later, 3).find("not 02 03"),
              std::string::npos);
    bad = Answer(54977, 24, 0, 0);
    EXPECT_NE(stbsim::CheckTimeAnswer(bad.data(), noon, later, 3), "");
}

TEST(StbClock, AcceptsADateChangeAtMidnight) {
    const std::tm before = Moment(2009, 12, 31, 23, 59, 59);
    const std::tm after = Moment(2010, 1, 1, 0, 0, 1);
    EXPECT_EQ(stbsim::CheckTimeAnswer(Answer(55196, 23, 59, 59).data(), before, after, 0), "");
    EXPECT_EQ(stbsim::CheckTimeAnswer(Answer(55197, 0, 0, 0).data(), before, after, 0), "");
    // Yesterday's date with today's time is a full day off.
    EXPECT_NE(stbsim::CheckTimeAnswer(Answer(55196, 0, 0, 0).data(), before, after, 0), "");
}

}  // namespace
