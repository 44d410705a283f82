// SPDX-License-Identifier: GPL-3.0-or-later
#include "mSagWort.h"

#include "mExist.h"
#include "mPlaySound.h"

#include <utility>

bool SpieleWort(Player& player, const std::string& sDataPath, int Index, int Anzahl,
                const std::string& Wort, Meldung meldung) {
    const std::string datei = sDataPath + Wort + ".wav";
    const int32_t laenge = Exist(datei);
    if (Index == Anzahl - 1 && laenge > 0) {
        return PlaySoundFile(player, datei, SND_ASYNC, std::move(meldung));
    }
    return PlaySoundRes(player, Index + 1, Wort, SND_ASYNC, std::move(meldung));
}

bool ExterneStimmeDa(const std::string& sDataPath) {
    return Exist(sDataPath + "es.wav") > 0;
}
