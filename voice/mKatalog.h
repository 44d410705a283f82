// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "KatalogDaten.h"

#include <QByteArray>

#include <string>

// The built-in voice catalogue: 27 word pieces recorded in four voices, compiled into the
// program as Qt resources (:/voices/<voice>/<NAME>.wav, made by tools/make-voices).

// Number of built-in voices; voice numbers run from 1 to this. The pieces (WortTeile) and the
// voices (StimmKatalog) are in KatalogDaten.h.
inline constexpr int EingebauteStimmen = static_cast<int>(StimmKatalog.size());

// The complete WAV image of word piece Name (any letter case) in voice Stimme (1 to 4), as a
// fresh byte array. Any other name or voice number gives an empty array.
QByteArray LadeAufnahme(const std::string& Name, int Stimme);
