// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
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

void SystemClock::Wecke(double Sekunden, std::function<void()> dann) {
    // Whole milliseconds, rounded up, so that a wait never ends a little before its time.
    const double ms = std::ceil(std::max(Sekunden, 0.0) * 1000.0);
    QTimer::singleShot(ms > 3600000.0 ? 3600000 : static_cast<int>(ms), Qt::PreciseTimer,
                       std::move(dann));
}
