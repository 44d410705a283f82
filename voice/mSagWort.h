// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <string>

// Plays one word piece in the selected voice. Index is the 0-based position of the selected
// voice entry (-1 when none is selected) and Anzahl the number of entries; sDataPath is the
// external voice folder, ending in "/".
//
// The file sDataPath + Wort + ".wav" is probed on every call. When the last entry is selected
// and that file is longer than 0 bytes, the file is played; otherwise the built-in recording
// of voice Index + 1 (which for the external voice, number 5, does not exist). Where that is
// missing too but something unreadable stands under the file's name (a folder, a FIFO, a file
// without read permission), the player is handed the file and fails on it. True when a
// recording went to the player, which then tells meldung what became of it; false when the
// piece has no recording to play (silence, and nothing told).
bool SpieleWort(Player& player, const std::string& sDataPath, int Index, int Anzahl,
                const std::string& Wort, Meldung meldung);

// Gets the player ready for the word piece that SpieleWort with the same arguments would play
// (see Player::PrepareImage), without playing it.
void BereiteWortVor(Player& player, const std::string& sDataPath, int Index, int Anzahl,
                    const std::string& Wort);

// Whether the folder sDataPath (ending in "/") is offered as the external voice: it holds a
// non-empty es.wav. Decided once at start-up by the window, and by the voice check.
bool ExterneStimmeDa(const std::string& sDataPath);
