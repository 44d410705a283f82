// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <array>
#include <string>
#include <string_view>

// The built-in voice catalogue: 27 word pieces recorded in four voices, compiled into the
// program as Qt resources (:/voices/<voice>/<NAME>.wav, made by tools/make-voices).

// Number of built-in voices; voice numbers run from 1 to this.
inline constexpr int EingebauteStimmen = 4;

// The names of the 27 recorded word pieces, upper case, in alphabetical order.
extern const std::array<std::string_view, 27> WortTeile;

// The complete WAV image of word piece Name (any letter case) in voice Stimme (1 to 4), as a
// fresh byte array. Any other name or voice number gives an empty array.
QByteArray LadeAufnahme(const std::string& Name, int Stimme);
