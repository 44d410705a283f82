// SPDX-License-Identifier: GPL-3.0-or-later
#include "mWaitS.h"

void WaitS(double Seconds, const Clock& clock, EventPump& pump) {
    const double start = clock.MonotonicSeconds();
    for (;;) {
        const double now = clock.MonotonicSeconds();
        pump.ProcessPending();
        // The end test uses the time read before the events were processed.
        if (!(start + Seconds > now)) {
            return;
        }
        // Sleep until an event arrives or the wait is over, whichever comes first.
        const double left = start + Seconds - clock.MonotonicSeconds();
        if (left > 0) {
            pump.WaitForEvents(left);
        }
    }
}
