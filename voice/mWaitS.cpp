// SPDX-License-Identifier: GPL-3.0-or-later
#include "mWaitS.h"

void WaitS(double Seconds, Clock& clock, std::function<void()> dann) {
    clock.Wecke(Seconds > 0 ? Seconds : 0, std::move(dann));
}
