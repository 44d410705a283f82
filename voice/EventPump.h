// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Processes the pending window events of the user-interface thread.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Process the events that are pending now, once.
    virtual void ProcessPending() = 0;
    // Sleep until an event arrives or maxSeconds have passed, processing what arrived.
    virtual void WaitForEvents(double maxSeconds) = 0;
};
