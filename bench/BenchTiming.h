// Timing helpers the benchmarks share: the best of repeated runs of some work, and the median
// of timed samples.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// Runs `work` at least `atLeastRuns` times and for at least 1.5 s; the best seconds of one run.
inline double BestSeconds(const std::function<void()>& work, int atLeastRuns = 5)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e30;
    const auto start = Clock::now();
    for (int runs = 0; runs < atLeastRuns || Clock::now() - start < std::chrono::milliseconds(1500); ++runs) {
        const auto before = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - before).count());
    }
    return best;
}

// The middle sample, or 0 when there is none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
