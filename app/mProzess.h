// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

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
