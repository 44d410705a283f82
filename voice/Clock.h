// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

// The time sources of the clock, injectable so that tests can step over midnight.
class Clock {
public:
    virtual ~Clock() = default;
    // Local time of day as "HH:MM:SS" (a leap second reads as :59).
    virtual std::string TimeText() const = 0;
    // Local seconds since midnight, with fraction.
    virtual double SecondsSinceMidnight() const = 0;
    // Seconds on a monotonic clock, for measuring elapsed time.
    virtual double MonotonicSeconds() const = 0;
    // Calls dann once Sekunden have passed on the monotonic clock, from the calling thread's
    // event loop (never from inside this call).
    virtual void Wecke(double Sekunden, std::function<void()> dann) = 0;
};

// The system's real-time and monotonic clocks.
class SystemClock final : public Clock {
public:
    std::string TimeText() const override;
    double SecondsSinceMidnight() const override;
    double MonotonicSeconds() const override;
    void Wecke(double Sekunden, std::function<void()> dann) override;
};
