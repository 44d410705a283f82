// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mZeitplan.h"

#include <QObject>
#include <QTimer>

class Clock;

// A timer that ticks every interval, phase-aligned to the clock: each tick falls a few
// milliseconds after a whole multiple of the interval (every full and half second for
// 500 ms), and is re-armed from the clock on every tick so that it never drifts. Ticks that
// could not change anything are left out, as the schedule says for the window's state.
class AlignedTimer : public QObject {
    Q_OBJECT
public:
    AlignedTimer(const Clock& clock, int intervalMs, QObject* parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return timer_.isActive(); }
    int interval() const { return interval_; }
    // Milliseconds from now to the next aligned tick.
    int MsBisZumNaechsten() const;

    // The window's state as the schedule needs it; it counts from the next arming (start or
    // tick) on. The timer wakes at the first aligned point at or after the next needed tick,
    // at the latest after LaengsteRuhe.
    void SetZustand(const Zustand& zustand) { zustand_ = zustand; }
    // Milliseconds from now to the next tick that is needed.
    int MsBisZumNoetigen() const;

signals:
    void timeout();

private:
    void Tick();

    const Clock& clock_;
    int interval_;
    Zustand zustand_;
    QTimer timer_;
};
