// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <thread>

void QtEventPump::ProcessPending() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::WaitForEvents(double maxSeconds) {
    if (!(maxSeconds > 0)) {
        ProcessPending();
        return;
    }
    // Whole milliseconds, rounded up, so that a wait never ends a little before its time.
    const double ms = std::ceil(maxSeconds * 1000.0);
    const int timeout = ms > 3600000.0 ? 3600000 : static_cast<int>(ms);
    if (QCoreApplication::instance() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
        return;
    }
    // The timer's own event wakes the loop when nothing else does.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(timeout);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
