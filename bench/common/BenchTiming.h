#pragma once
// What the GUI benchmarks share: times in milliseconds, medians, and the
// longest time the UI thread went without delivering an event.

#include <QEvent>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double BenchMs(BenchClock::time_point a, BenchClock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

inline double BenchMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Installed on the application: every event delivered marks a turn of the
// UI thread's loop.
class CEventGapFilter : public QObject {
public:
    explicit CEventGapFilter(std::function<void()> fnSeen) : m_fnSeen(std::move(fnSeen)) {}
    bool eventFilter(QObject*, QEvent*) override {
        m_fnSeen();
        return false;
    }

private:
    std::function<void()> m_fnSeen;
};
