#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The box's own idea of the date and time, used to judge the tool's answer to STB_TIME_REQ.
// The Modified Julian Date is computed as days since the Unix epoch of the local calendar date
// plus 40587 (MJD of 1970-01-01), independently of the tool's formula, so that a fault in one
// does not repeat in the other.
namespace stbsim {

// Days from 1970-01-01 to the given proleptic Gregorian date (negative before it).
int64_t DaysFromCivil(int year, unsigned month, unsigned day);

// MJD of a calendar date.
int64_t ModifiedJulianDate(int year, unsigned month, unsigned day);

// A local calendar moment as seconds on one continuous scale (MJD days * 86400 + time of day),
// so that moments on both sides of midnight compare correctly.
int64_t LocalSeconds(const std::tm& local);
int64_t LocalSecondsFromMjd(unsigned mjd, unsigned hour, unsigned minute, unsigned second);

// Checks an 8-byte time answer against the local clock read just before the request went out
// (before) and just after the answer came in (after), allowing skewSeconds either way. Only
// the low 16 bits of the MJD travel, so the date is compared modulo 65536 days. Returns an
// empty text when the answer is right, else what is wrong with it.
std::string CheckTimeAnswer(const uint8_t answer[8], const std::tm& before, const std::tm& after,
                            int skewSeconds);

// "2009-05-26 13:45:00 (MJD 54977)" for messages.
std::string DescribeLocalMoment(int64_t localSeconds);

}  // namespace stbsim
