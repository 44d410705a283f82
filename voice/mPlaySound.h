// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <cstdint>
#include <string>

// Sound flags, or-ed into the Flags argument as by the classic sound call. Every caller passes
// SND_ASYNC and the player has nothing else to honour: playback never holds up the caller (the
// call hands the sound over and the player reports when it is heard and nearly over), and
// whether a sound is a file or an image is which function was called. The parameter stays so
// that the two calls keep their classic form.
inline constexpr int32_t SND_ASYNC = 0x0001;
inline constexpr int32_t SND_MEMORY = 0x0004;
inline constexpr int32_t SND_FILENAME = 0x20000;

// Plays the file that FileName names, found without regard to the letter case of its name.
// Nothing is played when no regular file answers to the name, or when FileName holds
// wildcards (the file found then is not the one named). True when the file went to the player,
// which then tells meldung what became of it; false (and nothing told) otherwise.
bool PlaySoundFile(Player& player, std::string FileName, int32_t Flags, Meldung meldung);

// Plays the built-in recording of word piece ResType (any letter case) in voice ResId (1 to
// 4). Any other name or voice number plays nothing. True when a recording went to the player,
// which then tells meldung what became of it; false (and nothing told) otherwise.
bool PlaySoundRes(Player& player, int32_t ResId, std::string ResType, int32_t Flags,
                  Meldung meldung);
