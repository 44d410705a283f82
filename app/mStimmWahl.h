// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
