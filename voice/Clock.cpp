// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"

#include <cstdio>
#include <ctime>

namespace {

struct LocalNow {
    std::tm tm{};
    long nanos = 0;
};

LocalNow Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    LocalNow n;
    localtime_r(&ts.tv_sec, &n.tm);
    n.nanos = ts.tv_nsec;
    return n;
}

} // namespace

std::string SystemClock::TimeText() const {
    const LocalNow n = Now();
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", n.tm.tm_hour, n.tm.tm_min,
                  n.tm.tm_sec > 59 ? 59 : n.tm.tm_sec);
    return buf;
}

double SystemClock::SecondsSinceMidnight() const {
    const LocalNow n = Now();
    return n.tm.tm_hour * 3600.0 + n.tm.tm_min * 60.0 + n.tm.tm_sec + n.nanos / 1e9;
}

double SystemClock::MonotonicSeconds() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}
