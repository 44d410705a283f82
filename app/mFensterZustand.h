// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mStimmWahl.h"

class Steuerelemente;
struct GespeicherterZustand;

// The stored position; positions are stored in pixels, the twips round trip of the window
// toolkit cancels out. A position no screen shows wholly (a monitor unplugged, a smaller
// screen or a larger scale since) is moved onto the nearest screen, and stored so at the end.
void Platziere(Steuerelemente& form, const GespeicherterZustand& store);

// Selects the entry of StimmWahl in the window's voice list.
void WaehleStimme(Steuerelemente& form, const GespeicherterZustand& store, double arg2);

// The stored mode (its option's handler runs) and seconds choice.
void WendeEinstellungenAn(Steuerelemente& form, const GespeicherterZustand& store);

// Writes the window's position, mode, voice and seconds choice; the position only where it is
// known and the window is in its normal state.
void SichereZustand(const Steuerelemente& form);
