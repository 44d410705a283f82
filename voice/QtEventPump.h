// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EventPump.h"

// Processes the events of the calling thread through Qt's event loop.
class QtEventPump final : public EventPump {
public:
    void ProcessPending() override;
    // Sleeps in the event loop until an event arrives or maxSeconds have passed; it does not
    // spin. Without a QCoreApplication it simply sleeps.
    void WaitForEvents(double maxSeconds) override;
};
