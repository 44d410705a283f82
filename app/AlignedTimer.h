// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

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

    // Ticks that could not change anything may be left out: `bedarf(jetzt)` gets the clock's
    // seconds since midnight and returns when the next tick is needed (seconds since
    // midnight; at or before `jetzt` for the very next one). The timer then wakes at the first
    // aligned point from then on, at the latest after LaengsteRuhe, so that a changed clock
    // or a machine that slept is noticed soon.
    void SetBedarf(std::function<double(double jetzt)> bedarf);
    // Milliseconds from now to the next tick that is needed.
    int MsBisZumNoetigen() const;
    static constexpr double LaengsteRuhe = 10.0;

signals:
    void timeout();

private:
    void Tick();

    const Clock& clock_;
    int interval_;
    std::function<double(double)> bedarf_;
    QTimer timer_;
};
