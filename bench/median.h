#pragma once

#include <algorithm>
#include <vector>

namespace numarika::bench {

// The middle of the figures of a run (the upper of the two middle ones for an even count).
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace numarika::bench
