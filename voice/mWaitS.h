// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "EventPump.h"

// Waits Seconds (fractions allowed) while the window stays alive: the pending events are
// processed on every pass, and between passes the thread sleeps until an event arrives or the
// wait is over. The time is measured on the monotonic clock, so a wait across midnight (or a
// change of the system time) lasts as long as asked. Zero or a negative number processes the
// pending events once and returns.
void WaitS(double Seconds, const Clock& clock, EventPump& pump);
