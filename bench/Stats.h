#pragma once
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace bench {

template <typename Duration>
double Milliseconds(Duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The nearest-rank percentile (0 for an empty list); 100 gives the largest.
inline double Percentile(std::vector<double> values, double percent) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(percent / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

}  // namespace bench
