// SPDX-License-Identifier: GPL-3.0-or-later
#include "mAnsage.h"

void Vorlesen(std::string_view Satz, const Vorleser& v) {
    std::string wort;
    for (std::size_t i = 0; i < Satz.size(); ++i) {
        const char c = Satz[i];
        if (c != '-' && c != ' ' && c != '.') {
            wort += c;
            continue;
        }
        if (wort.empty()) {
            continue;
        }
        const std::string fertig = std::move(wort);
        wort.clear();
        const int laenge = static_cast<int>(fertig.size());
        v.Markiere(static_cast<int>(i) - laenge, laenge);
        if (fertig == "~") {
            v.Pause();
        } else {
            v.Spiele(fertig);
        }
    }
}
