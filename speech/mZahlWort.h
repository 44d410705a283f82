// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A whole number 0 to 999 as German word pieces joined by "-" (UTF-8).
// Genus picks the form of one: 0 "ein", 1 "eine", 2 "eins". Ordinal 1 adds "-ste"/"-te".
// Arguments outside those ranges give the empty text.
std::string ZahlWort(int Zahl, int Genus, int Ordinal);
