// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Steuerelemente;
struct GespeicherterZustand;

// The stored position; positions are stored in pixels, the twips round trip of the window
// toolkit cancels out. A position no screen shows wholly (a monitor unplugged, a smaller
// screen or a larger scale since) is moved onto the nearest screen, and stored so at the end.
void Platziere(Steuerelemente& form, const GespeicherterZustand& store);

// The entry (0-based) of a list of anzahl voices that the command line's voice (the numeric
// value of its second argument) asks for: -1 for none (0 or below), the first entry for a
// number beyond the list. The window's start and a request handed over to it read it alike.
int GefragterEintrag(double arg2, int anzahl);

// The voice number a second copy's command line asks of the running clock: 0 for none (its
// selected voice), the first entry for one beyond any list, as at start-up.
int GefragteStimme(double arg2);

// The entry of a list of anzahl voices to select: the stored voice, or the entry that the
// command line's voice (above 0) names; the first entry when either lies beyond the list.
int StimmWahl(double gespeichert, double arg2, int anzahl);

// Selects the entry of StimmWahl in the window's voice list.
void WaehleStimme(Steuerelemente& form, const GespeicherterZustand& store, double arg2);

// The stored mode (its option's handler runs) and seconds choice.
void WendeEinstellungenAn(Steuerelemente& form, const GespeicherterZustand& store);

// Writes the window's position, mode, voice and seconds choice; the position only where it is
// known and the window is in its normal state.
void SichereZustand(const Steuerelemente& form);
