// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlignedTimer.h"

#include "Clock.h"

#include <algorithm>
#include <cmath>

namespace {
// How long after the boundary a tick falls, so that the clock already shows the new second
// even when the timer fires a little early.
constexpr double Vorlauf = 0.002;
} // namespace

AlignedTimer::AlignedTimer(const Clock& clock, int intervalMs, QObject* parent)
    : QObject(parent), clock_(clock), interval_(intervalMs) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &AlignedTimer::Tick);
}

int AlignedTimer::MsBisZumNaechsten() const {
    const double periode = interval_ / 1000.0;
    const double phase = std::fmod(clock_.SecondsSinceMidnight(), periode);
    double bis = periode - phase + Vorlauf;
    if (bis > periode) {
        bis -= periode; // just before the offset point of this period
    }
    return static_cast<int>(std::ceil(bis * 1000.0));
}

int AlignedTimer::MsBisZumNoetigen() const {
    const int naechster = MsBisZumNaechsten();
    const double jetzt = clock_.SecondsSinceMidnight();
    const double bis = std::min(NaechsterNoetigerTick(jetzt, zustand_) - jetzt, LaengsteRuhe);
    if (bis * 1000.0 <= naechster) {
        return naechster;
    }
    // The first aligned point at or after the time asked for.
    const double periode = interval_ / 1000.0;
    const double ziel = jetzt + bis;
    const double punkt = std::ceil((ziel - Vorlauf) / periode) * periode + Vorlauf;
    return static_cast<int>(std::ceil((punkt - jetzt) * 1000.0));
}

void AlignedTimer::start() {
    timer_.start(MsBisZumNoetigen());
}

void AlignedTimer::stop() {
    timer_.stop();
}

void AlignedTimer::Tick() {
    // Re-arm first: the handler's work (starting an announcement, which returns at once) does
    // not shift the next tick.
    timer_.start(MsBisZumNoetigen());
    emit timeout();
}
