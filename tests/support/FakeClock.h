// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"

#include <cmath>
#include <cstdio>
#include <string>

// A clock that stands still until a test moves it. Wall time wraps at midnight; the
// monotonic time only grows.
class FakeClock final : public Clock {
public:
    explicit FakeClock(double secondsSinceMidnight = 12 * 3600.0) : wall_(secondsSinceMidnight) {}

    void Set(double secondsSinceMidnight) { wall_ = secondsSinceMidnight; }
    void Set(int h, int m, double s) { wall_ = h * 3600.0 + m * 60.0 + s; }
    void Advance(double seconds) {
        mono_ += seconds;
        wall_ = std::fmod(wall_ + seconds, 86400.0);
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
    double wall_;
    double mono_ = 1000.0;
};
