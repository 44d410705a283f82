// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mStimmPruefung.h"

#include <string>

// The report of tikkaru --check-voice: a line naming the folder, a table of the pieces, and a
// last line with the verdict.
std::string StimmBericht(const StimmPruefung& Pruefung);

// The word for a state, as the report writes it: "ok", "fehlt", "leer", "nicht lesbar",
// "nicht dekodierbar".
const char* ZustandText(TeilZustand Zustand);
