// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"

#include <functional>

// Waits Seconds (fractions allowed) without holding up the window: dann is called from the
// event loop once the time has passed on the monotonic clock, so that a wait across midnight
// (or a change of the system time) lasts as long as asked, and every event meanwhile is
// handled as it comes. Zero or a negative number calls dann from the event loop at once.
void WaitS(double Seconds, Clock& clock, std::function<void()> dann);
