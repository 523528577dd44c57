#pragma once

// The benches' one percentile: nearest rank, `fraction` from 0 to 1 (0.5 the median, 0.99 the
// 99th percentile); 0 for no samples.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

inline double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const double rank = std::ceil(fraction * static_cast<double>(samples.size()));
    const std::size_t at =
        std::clamp<std::size_t>(static_cast<std::size_t>(rank), 1, samples.size());
    return samples[at - 1];
}
