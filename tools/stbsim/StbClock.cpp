#include "tools/stbsim/StbClock.h"

#include <cstdio>

#include "tools/stbsim/StbFrames.h"

namespace stbsim {

namespace {

constexpr int64_t kMjdOfUnixEpoch = 40587;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMjdWrap = 65536;

// Inverse of DaysFromCivil, for messages.
void CivilFromDays(int64_t days, int& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Distance between two moments when the day count is only known modulo 65536 days.
int64_t WrappedDistance(int64_t a, int64_t b) {
    const int64_t wrap = kMjdWrap * kSecondsPerDay;
    int64_t d = (a - b) % wrap;
    if (d > wrap / 2) {
        d -= wrap;
    } else if (d < -wrap / 2) {
        d += wrap;
    }
    return d;
}

}  // namespace

// The era-based algorithm of H. Hinnant's "chrono-compatible low-level date algorithms".
int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t ModifiedJulianDate(int year, unsigned month, unsigned day) {
    return DaysFromCivil(year, month, day) + kMjdOfUnixEpoch;
}

int64_t LocalSeconds(const std::tm& local) {
    const int64_t mjd =
        ModifiedJulianDate(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                           static_cast<unsigned>(local.tm_mday));
    return mjd * kSecondsPerDay + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

int64_t LocalSecondsFromMjd(unsigned mjd, unsigned hour, unsigned minute, unsigned second) {
    return static_cast<int64_t>(mjd) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::string DescribeLocalMoment(int64_t localSeconds) {
    const int64_t mjd = localSeconds / kSecondsPerDay;
    const int64_t tod = localSeconds % kSecondsPerDay;
    int year;
    unsigned month, day;
    CivilFromDays(mjd - kMjdOfUnixEpoch, year, month, day);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d (MJD %lld)", year, month, day,
                  static_cast<int>(tod / 3600), static_cast<int>(tod / 60 % 60),
                  static_cast<int>(tod % 60), static_cast<long long>(mjd));
    return text;
}

std::string CheckTimeAnswer(const uint8_t answer[8], const std::tm& before, const std::tm& after,
                            int skewSeconds) {
    if (answer[0] != kStx || answer[1] != kCmdTimeReq || answer[7] != kEtx) {
        return "the frame is not 02 03 .. .. .. .. .. 03: " + HexBytes(answer, kTimeAnswerSize);
    }
    const unsigned mjd = (answer[2] << 8) | answer[3];
    const unsigned hour = answer[4], minute = answer[5], second = answer[6];
    if (hour > 23 || minute > 59 || second > 60) {
        return "no valid time of day: " + HexBytes(answer, kTimeAnswerSize);
    }
    const int64_t told = LocalSecondsFromMjd(mjd, hour, minute, second);
    const int64_t from = LocalSeconds(before) - skewSeconds;
    const int64_t to = LocalSeconds(after) + skewSeconds;
    if (WrappedDistance(told, from) >= 0 && WrappedDistance(to, told) >= 0) {
        return {};
    }
    return "the tool said " + DescribeLocalMoment(told) + " but the box's local clock read " +
           DescribeLocalMoment(LocalSeconds(before)) + " (" + HexBytes(answer, kTimeAnswerSize) +
           ")";
}

}  // namespace stbsim
