// SPDX-License-Identifier: GPL-3.0-or-later
#include "mStimmBericht.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Width on the terminal: characters, not bytes.
std::size_t Breite(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Links(const std::string& s, std::size_t breite) {
    return s + std::string(breite - std::min(breite, Breite(s)), ' ');
}

std::string Rechts(const std::string& s, std::size_t breite) {
    return std::string(breite - std::min(breite, Breite(s)), ' ') + s;
}

// A number as German text, with a decimal comma.
std::string Zahl(double wert, int stellen) {
    if (std::isinf(wert)) {
        return wert < 0 ? "-inf" : "inf";
    }
    char puffer[64];
    std::snprintf(puffer, sizeof puffer, "%.*f", stellen, wert);
    std::string s = puffer;
    std::replace(s.begin(), s.end(), '.', ',');
    return s == "-0" || s == "-0,0" ? s.substr(1) : s;
}

std::string KanalText(int kanaele) {
    return kanaele == 1 ? "mono" : kanaele == 2 ? "stereo" : std::to_string(kanaele) + " Kanäle";
}

// The table's columns, in their widths; the file column as wide as the longest name.
struct Spalten {
    std::string wort, zustand, datei, format, laenge, spitze, rms, stille, hinweis;
};

std::string Zeile(const Spalten& s, std::size_t dateiBreite) {
    std::string z = Links(s.wort, 9) + Links(s.zustand, 18) + Links(s.datei, dateiBreite + 2) +
                    Links(s.format, 27) + Rechts(s.laenge, 8) + Rechts(s.spitze, 9) +
                    Rechts(s.rms, 9) + Rechts(s.stille, 20);
    if (!s.hinweis.empty()) {
        z += "  " + s.hinweis;
    }
    while (!z.empty() && z.back() == ' ') {
        z.pop_back();
    }
    return z + "\n";
}

Spalten TeilSpalten(const TeilPruefung& t) {
    Spalten s{t.Wort, ZustandText(t.Zustand), t.Datei, "", "", "", "", "", t.Hinweis};
    if (t.Rate > 0) {
        s.format = std::to_string(t.Rate) + " Hz " + KanalText(t.Kanaele) + " " + t.Format;
    }
    if (t.Rate > 0 && t.Zustand == TeilZustand::Ok) {
        s.laenge = Zahl(t.LaengeMs, 0);
        s.spitze = Zahl(t.SpitzeDb, 1);
        s.rms = Zahl(t.RmsDb, 1);
        s.stille = Zahl(t.StilleAnfangMs, 0) + " / " + Zahl(t.StilleEndeMs, 0);
    }
    return s;
}

std::string Tabelle(const StimmPruefung& p) {
    std::size_t dateiBreite = 5;
    for (const TeilPruefung& t : p.Teile) {
        dateiBreite = std::max(dateiBreite, Breite(t.Datei));
    }
    std::string r = Zeile({"Wortteil", "Zustand", "Datei", "Format", "Länge", "Spitze", "RMS",
                           "Stille vorn/hinten", "Hinweis"},
                          dateiBreite);
    r += Zeile({"", "", "", "", "ms", "dBFS", "dBFS", "ms", ""}, dateiBreite);
    for (const TeilPruefung& t : p.Teile) {
        r += Zeile(TeilSpalten(t), dateiBreite);
    }
    return r;
}

// The verdict: all play, or how many do not and why, grouped by state.
std::string Ergebnis(const StimmPruefung& p) {
    const int gesamt = static_cast<int>(p.Teile.size());
    const int stumm = gesamt - p.Spielbar();
    if (stumm == 0) {
        return "Ergebnis: alle " + std::to_string(gesamt) + " Wortteile werden abgespielt.\n";
    }
    std::string gruende;
    for (const TeilZustand z : {TeilZustand::Fehlt, TeilZustand::Leer, TeilZustand::NichtLesbar,
                                TeilZustand::NichtDekodierbar}) {
        std::string namen;
        for (const TeilPruefung& t : p.Teile) {
            if (t.Zustand == z) {
                namen += (namen.empty() ? "" : ", ") + t.Wort;
            }
        }
        if (!namen.empty()) {
            gruende += std::string(gruende.empty() ? "" : "; ") + ZustandText(z) + ": " + namen;
        }
    }
    return "Ergebnis: " + std::to_string(stumm) + " von " + std::to_string(gesamt) +
           (stumm == 1 ? " Wortteilen wird" : " Wortteilen werden") + " nicht abgespielt (" +
           gruende + ").\n";
}

} // namespace

const char* ZustandText(TeilZustand Zustand) {
    // In the order of TeilZustand.
    static constexpr const char* Texte[] = {"ok", "fehlt", "leer", "nicht lesbar",
                                            "nicht dekodierbar"};
    return Texte[static_cast<int>(Zustand)];
}

std::string StimmBericht(const StimmPruefung& Pruefung) {
    std::string r = "Stimmordner: " + Pruefung.Ordner + "\n";
    if (!Pruefung.OrdnerFehler.empty()) {
        r += Pruefung.OrdnerFehler + "\n";
    }
    r += '\n';
    r += Tabelle(Pruefung) + "\n";
    if (!Pruefung.Angeboten) {
        r += "Ohne lesbare, nicht leere es.wav bietet Tikkaru die \u201EExterne Stimme\u201C "
             "nicht an.\n";
    }
    return r + Ergebnis(Pruefung);
}
