#pragma once

// The line's recent past: every result the board has heard, at most `most` of them and none
// older than `keepMs` (7 days or 1,000,000 results, whichever is smaller), each counted once by
// its record id. What the page plots comes from here: passes and fails per 15 minutes with the
// mean time per box, for the line, a station or a slot, and the yield of each station and of
// each slot of one station; and the latest failures with their reasons and box ids.
//
// How it keeps its bounds. The results are held in the order they came, 32 bytes each, with
// their names interned; the oldest leaves first when the count is full, and every minute those
// past the age go too. Each 15 minutes keep the counts per station and slot, so that a plot
// over 7 days reads at most 672 of them rather than a million results. A result that arrives
// late (a station's spool sent after an outage) is kept under its own end time.
//
// Threading rules: one owner at a time (BoardService holds its lock around every call).

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/HistoryResult.h"
#include "board/RecordKeySet.h"
#include "record/Json.h"

class HistoryStore {
  public:
    struct Limits {
        std::size_t most = 1'000'000;
        std::int64_t keepMs = 7LL * 24 * 3600 * 1000;
    };
    static constexpr std::int64_t kBinMs = 15 * 60 * 1000;
    static constexpr std::size_t kFailuresKept = 50;

    enum class Added {
        Kept,     // new, and kept
        Repeat,   // its id was heard before
        Outside,  // new, but older than what is kept, or past the most names the board takes
    };

    explicit HistoryStore(Limits limits) : m_limits(limits) {}

    Added Add(const HistoryResult& result, std::int64_t nowMs);
    // Lets go of what is older than the age bound.
    void Expire(std::int64_t nowMs);
    std::size_t Size() const { return m_kept.size(); }

    // Passes, fails and the mean seconds per box for each 15 minutes from `fromMs` to `toMs`,
    // for the whole line, for `station` or for one of its `slot`s (empty: all); the passes and
    // fails of every station in that time, and of each slot of `station`.
    // {"bin_ms":900000,"from":<ms>,"bins":[[passes,fails,mean or null],...],
    //  "stations":[[name,passes,fails],...],"slots":[[name,passes,fails],...]}
    Json Plot(std::int64_t fromMs, std::int64_t toMs, const std::string& station,
              const std::string& slot) const;
    // The latest results that did not pass, newest last.
    const std::deque<HistoryResult>& Failures() const { return m_failures; }

  private:
    struct Kept {
        std::uint64_t key;
        std::int64_t endMs;
        float seconds;
        std::uint16_t station;
        std::uint16_t slot;
        BoxResult result;
    };
    struct Counts {
        std::int32_t passes = 0;
        std::int32_t fails = 0;
        double seconds = 0;  // of the passes and fails
    };
    // One 15 minutes: the counts per station (high 16 bits) and slot (low 16 bits).
    using Bin = std::unordered_map<std::uint32_t, Counts>;

    // The name's number; -1 when the board holds the most names it takes.
    int Intern(const std::string& name);
    void Count(const Kept& kept, int sign);
    void DropOldest();

    Limits m_limits;
    std::deque<Kept> m_kept;
    RecordKeySet m_keys;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::uint16_t> m_numbers;
    std::map<std::int64_t, Bin> m_bins;  // by the number of the 15 minutes since 1970
    std::deque<HistoryResult> m_failures;
};
