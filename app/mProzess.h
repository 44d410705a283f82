// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <functional>
#include <string>

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
    Beschaeftigt = 10,  // handed over to the running clock, which was already speaking
};

// The status for speaking once after the player's first failure.
EndeStatus StatusNach(PlayFailure failure);

// The one German line for stderr that tells why speaking once failed ("" for Normal).
std::string EndeMeldung(EndeStatus status);

// Single instance: takes the per-user lock in the runtime directory for the life of the
// process. True when another running copy holds it. A lock left by a killed copy is taken
// over; where no lock can be made at all (no writable runtime directory) the clock runs.
bool VorherigeInstanz();

// The lock file's path.
std::string SperrDatei();

// Runs handler on the user-interface thread when SIGTERM, SIGINT or SIGHUP arrives.
void BeiBeendenSignal(std::function<void()> handler);

// Ends the process at once, without further events.
[[noreturn]] void EndeSofort(int status = 0);
