// SPDX-License-Identifier: GPL-3.0-or-later
#include "mZeitSatz.h"

#include "mZahlWort.h"

namespace {

int Feld(std::string_view zeit, std::size_t pos) {
    int wert = 0;
    for (std::size_t i = pos; i < pos + 2 && i < zeit.size(); ++i) {
        const char c = zeit[i];
        if (c < '0' || c > '9') {
            break;
        }
        wert = wert * 10 + (c - '0');
    }
    return wert;
}

void OhneEndLeerzeichen(std::string& s) {
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
}

void ErsetzeAlle(std::string& s, std::string_view suche, std::string_view ersatz) {
    std::size_t pos = 0;
    while ((pos = s.find(suche, pos)) != std::string::npos) {
        s.replace(pos, suche.size(), ersatz);
        pos += ersatz.size();
    }
}

// The common beginning of both sentences: opening, hour, "Uhr" and the minute.
std::string StundeUndMinute(const ZeitFelder& z, std::string_view anfang) {
    std::string s(anfang);
    s += ZahlWort(z.Stunde, 0, 0);
    s += "  Uhr  ";
    if (z.Minute > 0) {
        s += ZahlWort(z.Minute, 2, 0);
    } else {
        OhneEndLeerzeichen(s);
    }
    return s;
}

void Sekunden(std::string& s, const ZeitFelder& z, std::string_view fuge) {
    s += fuge;
    s += ZahlWort(z.Sekunde, 1, 0);
    s += "  Sekunde";
    if (z.Sekunde != 1) {
        s += "n";
    }
}

} // namespace

ZeitFelder LiesZeit(std::string_view zeit) {
    return {Feld(zeit, 0), Feld(zeit, 3), Feld(zeit, 6)};
}

std::string AnzeigeSatz(std::string_view zeit, bool sekunden) {
    const ZeitFelder z = LiesZeit(zeit);
    std::string s = StundeUndMinute(z, " Es ist  ");
    if (sekunden) {
        Sekunden(s, z, "  und  ");
    }
    ErsetzeAlle(s, "-un-", "-und-");
    OhneEndLeerzeichen(s);
    s += ".";
    return s;
}

std::string SprechSatz(std::string_view zeit, bool sekunden, bool minuteOderStunde) {
    const ZeitFelder z = LiesZeit(zeit);
    std::string s = StundeUndMinute(z, " Es ist ~ ");
    const bool mitSekunden = sekunden && !(z.Sekunde == 0 && minuteOderStunde);
    if (mitSekunden) {
        Sekunden(s, z, " ~ und ~ ");
    }
    ErsetzeAlle(s, "ö", "oe");
    ErsetzeAlle(s, "ü", "ue");
    ErsetzeAlle(s, "ß", "ss");
    OhneEndLeerzeichen(s);
    s += ".";
    return s;
}
