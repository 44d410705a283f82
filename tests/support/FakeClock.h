// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>

// A clock that stands still until a test moves it. Wall time wraps at midnight; the
// monotonic time only grows. Its alarms (Wecke) go off while Advance moves the clock over
// them, in the order they fall due, each with the clock standing at its time, as the event
// loop runs timers.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double secondsSinceMidnight = 12 * 3600.0) : wall_(secondsSinceMidnight) {}

    void Set(double secondsSinceMidnight) { wall_ = secondsSinceMidnight; }
    void Set(int h, int m, double s) { wall_ = h * 3600.0 + m * 60.0 + s; }
    void Advance(double seconds) {
        const double ziel = mono_ + seconds;
        while (!alarms_.empty() && alarms_.begin()->first.first <= ziel) {
            const auto it = alarms_.begin();
            Move(std::max(it->first.first, mono_) - mono_);
            const auto dann = std::move(it->second);
            alarms_.erase(it);
            dann();
        }
        Move(std::max(ziel, mono_) - mono_);
    }
    // The process stands still for seconds (stopped, suspended): nothing runs meanwhile, and
    // the alarms that fell due go off late, at the next Advance.
    void Freeze(double seconds) { Move(seconds); }
    // Alarms that are due now.
    void RunDue() { Advance(0); }
    std::size_t PendingAlarms() const { return alarms_.size(); }
    void Wecke(double Sekunden, std::function<void()> dann) override {
        alarms_.emplace(std::make_pair(mono_ + std::max(Sekunden, 0.0), ++seq_), std::move(dann));
    }

    std::string TimeText() const override {
        const int t = static_cast<int>(wall_);
        char buf[48];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
        return buf;
    }
    double SecondsSinceMidnight() const override { return wall_; }
    double MonotonicSeconds() const override { return mono_; }

private:
    void Move(double seconds) {
        mono_ += seconds;
        wall_ = std::fmod(wall_ + seconds, 86400.0);
    }

    double wall_;
    double mono_ = 1000.0;
    // Due time and the order they were set in: the earliest first, at a tie the first set.
    std::map<std::pair<double, long>, std::function<void()>> alarms_;
    long seq_ = 0;
};
