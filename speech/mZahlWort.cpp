// SPDX-License-Identifier: GPL-3.0-or-later
#include "mZahlWort.h"

#include <array>

namespace {

// The word of a digit where it stands as hundreds or ones digit.
const std::array<const char*, 10> Ziffer = {"",     "ein",   "zwei",   "drei", "vier",
                                            "fünf", "sechs", "sieben", "acht", "neun"};

// The tens words, the suffix included.
const std::array<const char*, 10> Zehner = {"",         "zehn",     "zwan-zig", "drei-ßig",
                                            "vier-zig", "fünf-zig", "sech-zig", "sieb-zig",
                                            "acht-zig", "neun-zig"};

// The words of their own up to twenty (none for 0 after the hundreds, 1 by gender).
const std::array<const char*, 21> Eigen = {
    "",       "",     "zwei",      "drei",      "vier", "fünf",  "sechs",
    "sieben", "acht", "neun",      "zehn",      "elf",  "zwölf", "",
    "",       "",     "sech-zehn", "sieb-zehn", "",     "",      "zwan-zig"};
} // namespace

std::string ZahlWort(int Zahl, int Genus, int Ordinal) {
    if (Zahl < 0 || Zahl > 999 || Genus < 0 || Genus > 2 || Ordinal < 0 || Ordinal > 1) {
        return {};
    }
    const int hunderter = Zahl / 100;
    const int zehner = (Zahl % 100) / 10;
    const int einer = Zahl % 10;
    const int rest = Zahl % 100;

    std::string s;
    if (hunderter > 0) {
        s += Ziffer[hunderter];
        s += "-hundert";
        if (zehner + einer > 0) {
            s += "-";
        }
    }

    if (rest < 13 || rest == 16 || rest == 17 || rest == 20) {
        if (Zahl == 0) {
            s += "null";
        } else if (rest == 1) {
            // The ordinal stem of one is "er" whatever the gender, so that the suffix never
            // stands without a stem.
            s += Ordinal == 1 ? "er" : Genus == 0 ? "ein" : Genus == 1 ? "eine" : "eins";
        } else if (Ordinal == 1 && (rest == 3 || rest == 8)) {
            s += rest == 3 ? "drit" : "ach";
        } else {
            s += Eigen[static_cast<std::size_t>(rest)];
        }
    } else {
        s += Ziffer[einer];
        if (zehner > 1 && einer > 0) {
            s += "-un";
        }
        if (einer > 0) {
            s += "-";
        }
        s += Zehner[zehner];
    }

    if (Ordinal == 1) {
        const bool ste = rest == 1 || zehner > 1 || (hunderter > 0 && rest == 0);
        s += ste ? "-ste" : "-te";
    }
    return s;
}
