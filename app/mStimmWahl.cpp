// SPDX-License-Identifier: GPL-3.0-or-later
#include "mStimmWahl.h"

#include "mKatalog.h"

#include <algorithm>
#include <cmath>

int GefragterEintrag(double arg2, int anzahl) {
    if (arg2 <= 0) {
        return -1;
    }
    const double v = arg2 - 1;
    return v > anzahl - 1 ? 0 : std::max(static_cast<int>(std::nearbyint(v)), -1);
}

int GefragteStimme(double arg2) {
    return GefragterEintrag(arg2, EingebauteStimmen + 1) + 1;
}

int StimmWahl(double gespeichert, double arg2, int anzahl) {
    const int gefragt = GefragterEintrag(arg2, anzahl);
    const double v = gefragt >= 0 ? gefragt : gespeichert;
    return v > anzahl - 1 ? 0 : static_cast<int>(std::nearbyint(v));
}
