#pragma once
// What every benchmark shares: times in milliseconds, medians and the
// process's peak resident memory. No Qt, so the core's benchmarks can use it.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double BenchMs(BenchClock::time_point a, BenchClock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

inline double BenchMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The process's peak resident set so far, in KiB; -1 when unknown.
inline long BenchPeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        std::getline(status, key);
    }
    return -1;
}
