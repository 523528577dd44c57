#include "board/HistoryStore.h"

#include <algorithm>
#include <cmath>

namespace {

// Station and slot names together: far beyond a line's, small enough for 16-bit numbers.
constexpr std::size_t kMostNames = 65535;

std::int64_t BinOf(std::int64_t ms) {
    return ms >= 0 ? ms / HistoryStore::kBinMs
                   : (ms - HistoryStore::kBinMs + 1) / HistoryStore::kBinMs;
}

}  // namespace

int HistoryStore::Intern(const std::string& name) {
    const auto found = m_numbers.find(name);
    if (found != m_numbers.end()) {
        return found->second;
    }
    if (m_names.size() >= kMostNames) {
        return -1;
    }
    m_names.push_back(name);
    m_numbers.emplace(name, static_cast<std::uint16_t>(m_names.size() - 1));
    return static_cast<int>(m_names.size() - 1);
}

void HistoryStore::Count(const Kept& kept, int sign) {
    if (kept.result == BoxResult::Aborted) {
        return;  // neither a pass nor a fail: yield and time per box leave it out
    }
    const std::int64_t bin = BinOf(kept.endMs);
    const std::uint32_t pair = (static_cast<std::uint32_t>(kept.station) << 16) | kept.slot;
    Counts& counts = m_bins[bin][pair];
    (kept.result == BoxResult::Pass ? counts.passes : counts.fails) += sign;
    counts.seconds += sign * static_cast<double>(kept.seconds);
    if (counts.passes == 0 && counts.fails == 0) {
        Bin& entry = m_bins[bin];
        entry.erase(pair);
        if (entry.empty()) {
            m_bins.erase(bin);
        }
    }
}

void HistoryStore::DropOldest() {
    const Kept& oldest = m_kept.front();
    Count(oldest, -1);
    m_keys.Erase(oldest.key);
    m_kept.pop_front();
}

HistoryStore::Added HistoryStore::Add(const HistoryResult& result, std::int64_t nowMs) {
    const std::uint64_t key = RecordKeySet::KeyOf(result.id);
    if (m_keys.Contains(key)) {
        return Added::Repeat;
    }
    const int station = Intern(result.station);
    const int slot = Intern(result.slot);
    if (result.endMs < nowMs - m_limits.keepMs || station < 0 || slot < 0 || m_limits.most == 0) {
        return Added::Outside;
    }
    while (m_kept.size() >= m_limits.most) {
        DropOldest();
    }
    m_keys.Insert(key);
    m_kept.push_back(Kept{key, result.endMs, static_cast<float>(result.seconds),
                          static_cast<std::uint16_t>(station), static_cast<std::uint16_t>(slot),
                          result.result});
    Count(m_kept.back(), +1);
    if (result.result != BoxResult::Pass) {
        m_failures.push_back(result);
        if (m_failures.size() > kFailuresKept) {
            m_failures.pop_front();
        }
    }
    return Added::Kept;
}

void HistoryStore::Expire(std::int64_t nowMs) {
    while (!m_kept.empty() && m_kept.front().endMs < nowMs - m_limits.keepMs) {
        DropOldest();
    }
    while (!m_failures.empty() && m_failures.front().endMs < nowMs - m_limits.keepMs) {
        m_failures.pop_front();
    }
}

Json HistoryStore::Plot(std::int64_t fromMs, std::int64_t toMs, const std::string& station,
                        const std::string& slot) const {
    const std::int64_t first = BinOf(fromMs);
    const std::int64_t last = std::max(first, BinOf(toMs));
    const auto number = [&](const std::string& name) -> int {
        const auto found = m_numbers.find(name);
        return found == m_numbers.end() ? -1 : found->second;
    };
    const int stationNumber = station.empty() ? -2 : number(station);
    const int slotNumber = slot.empty() ? -2 : number(slot);
    std::vector<Counts> bins(static_cast<std::size_t>(last - first + 1));
    std::map<std::string, Counts> stations;
    std::map<std::string, Counts> slots;
    for (auto it = m_bins.lower_bound(first); it != m_bins.end() && it->first <= last; ++it) {
        Counts& bin = bins[static_cast<std::size_t>(it->first - first)];
        for (const auto& [pair, counts] : it->second) {
            const int pairStation = static_cast<int>(pair >> 16);
            const int pairSlot = static_cast<int>(pair & 0xFFFF);
            Counts& perStation = stations[m_names[pairStation]];
            perStation.passes += counts.passes;
            perStation.fails += counts.fails;
            if (stationNumber != -2 && pairStation != stationNumber) {
                continue;
            }
            if (stationNumber != -2) {
                Counts& perSlot = slots[m_names[pairSlot]];
                perSlot.passes += counts.passes;
                perSlot.fails += counts.fails;
            }
            if (slotNumber != -2 && pairSlot != slotNumber) {
                continue;
            }
            bin.passes += counts.passes;
            bin.fails += counts.fails;
            bin.seconds += counts.seconds;
        }
    }
    Json binsJson = Json::array();
    for (const Counts& bin : bins) {
        const int boxes = bin.passes + bin.fails;
        binsJson.push_back(Json::array(
            {bin.passes, bin.fails,
             boxes > 0 ? JsonNumber(std::round(bin.seconds / boxes * 10) / 10) : Json(nullptr)}));
    }
    const auto table = [](const std::map<std::string, Counts>& rows) {
        Json json = Json::array();
        for (const auto& [name, counts] : rows) {
            json.push_back(Json::array({JsonText(name), counts.passes, counts.fails}));
        }
        return json;
    };
    return Json{{"bin_ms", kBinMs},
                {"from", first * kBinMs},
                {"bins", std::move(binsJson)},
                {"stations", table(stations)},
                {"slots", table(slots)}};
}
