// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class Clock;

// A timer that ticks every interval, phase-aligned to the clock: each tick falls a few
// milliseconds after a whole multiple of the interval (every full and half second for
// 500 ms), and is re-armed from the clock on every tick so that it never drifts.
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

signals:
    void timeout();

private:
    void Tick();

    const Clock& clock_;
    int interval_;
    QTimer timer_;
};
