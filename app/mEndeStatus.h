// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mAnsage.h"

#include <string>
#include <vector>

// Exit statuses. Speaking once ("!" or "!!") ends with 0 only when every piece of the sentence
// reached the sound server and was played to its end; otherwise the status says why.
enum class EndeStatus : int {
    Normal = 0,
    KeinTondienst = 3,  // no sound server, or it refused the connection
    TondienstStumm = 4, // the sound server stopped answering
    TondienstWeg = 5,   // the connection to the sound server broke off
    AufnahmeDefekt = 6, // a recording could not be played
    AndereKopie = 7,    // another copy is running; nothing was said
    Abgebrochen = 8,    // ended by a signal or logout before the sentence was finished
    TeileFehlen = 9,    // pieces of the sentence had no recording and stayed silent
    Beschaeftigt = 10,  // handed over to the running clock, which was already speaking
};

// Whether the running clock answers a handed-over request with this status: all but
// AndereKopie, which only a copy that found no answer reports.
bool FensterStatus(int status);

// The exit status an announcement's result makes, for speaking once and for a request handed
// over alike: a sentence cut off because its time had passed comes first, then a failure of the
// sound server or of a recording, then pieces that had no recording.
EndeStatus StatusVon(const Ergebnis& ergebnis);

// The one German line for stderr that tells why speaking once failed ("" for Normal); for
// TeileFehlen it names the silent pieces.
std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm = {});
