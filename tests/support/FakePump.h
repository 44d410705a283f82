// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EventPump.h"

#include <functional>

// Counts event processing; onProcess runs on every pass, as a window event would. A wait
// moves the given fake clock (if any) by the time waited, through advance.
class FakePump final : public EventPump {
public:
    void ProcessPending() override {
        ++pending;
        if (onProcess) {
            onProcess();
        }
    }
    void WaitForEvents(double maxSeconds) override {
        ++waits;
        if (advance && maxSeconds > 0) {
            advance(maxSeconds);
        }
        if (onProcess) {
            onProcess();
        }
    }

    int pending = 0;
    int waits = 0;
    std::function<void()> onProcess;
    std::function<void(double)> advance;
};
