// SPDX-License-Identifier: GPL-3.0-or-later
#include "mZeitplan.h"

#include "mZeitSatz.h"

#include <cmath>

TickEntscheidung EntscheideTick(std::string_view zeit, Modus modus, std::string_view zuletzt,
                                bool busy) {
    if (modus == Modus::Fortlaufend) {
        return {true, false};
    }
    const bool voll = (modus == Modus::JedeStunde && zeit.ends_with("00:00")) ||
                      (modus == Modus::JedeMinute && zeit.ends_with("00"));
    if (!voll || zeit == zuletzt) {
        const bool davor = (modus == Modus::JedeStunde && zeit.ends_with("59:59")) ||
                           (modus == Modus::JedeMinute && zeit.ends_with("59"));
        return {false, false, davor && !busy};
    }
    // A tick inside a running announcement starts nothing, so it remembers nothing either.
    return {true, !busy};
}

double NaechsterNoetigerTick(double jetzt, const Zustand& zustand) {
    if (zustand.busy || zustand.modus == Modus::Fortlaufend) {
        return jetzt;
    }
    if (zustand.gesehen) {
        return std::floor(jetzt) + 1;
    }
    // The full minute or hour, or the second before it while that is still ahead.
    const auto vollOderDavor = [jetzt](double periode) {
        const double voll = std::floor(jetzt / periode) * periode + periode;
        return jetzt < voll - 1 ? voll - 1 : voll;
    };
    switch (zustand.modus) {
    case Modus::JedeMinute:
        return vollOderDavor(60);
    case Modus::JedeStunde:
        return vollOderDavor(3600);
    default:
        return jetzt + LaengsteRuhe;
    }
}

std::string EinmalSatz(std::string_view zeit, bool sekunden) {
    return SprechSatz(zeit, sekunden, true);
}
