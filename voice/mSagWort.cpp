// SPDX-License-Identifier: GPL-3.0-or-later
#include "mSagWort.h"

#include "mExist.h"
#include "mPlaySound.h"

#include <utility>

namespace {
// Whether something stands in the folder under the file's name that is no readable file (a
// folder, a FIFO, a device, a file without read permission, a link into nothing).
bool DaAberUnlesbar(const std::string& datei) {
    const std::string ordner = DirPart(datei);
    return !NamesLike(StoredFolder(ordner), datei.substr(ordner.size())).empty();
}
// Hands every sound to the player's preparation instead of playing it.
class Vorbereiter final : public Player {
public:
    explicit Vorbereiter(Player& player) : player_(player) {}
    void PlayImage(const QByteArray& wav, Meldung) override { player_.PrepareImage(wav); }
    void PlayFile(const std::string& path, Meldung) override { player_.PrepareFile(path); }
    void Drain(std::function<void(PlayFailure)>) override {}

private:
    Player& player_;
};
} // namespace

bool SpieleWort(Player& player, const std::string& sDataPath, int Index, int Anzahl,
                const std::string& Wort, Meldung meldung) {
    const std::string datei = sDataPath + Wort + ".wav";
    const int32_t laenge = Exist(datei);
    if (Index == Anzahl - 1 && laenge > 0) {
        return PlaySoundFile(player, datei, SND_ASYNC, std::move(meldung));
    }
    if (PlaySoundRes(player, Index + 1, Wort, SND_ASYNC, meldung)) {
        return true;
    }
    // A recording that is there but cannot be read is no missing one: the player is handed
    // it, fails to open it and says so, as for a file that does not decode.
    if (Index == Anzahl - 1 && laenge < 0 && DaAberUnlesbar(datei)) {
        player.PlayFile(datei, std::move(meldung));
        return true;
    }
    return false;
}

void BereiteWortVor(Player& player, const std::string& sDataPath, int Index, int Anzahl,
                    const std::string& Wort) {
    Vorbereiter vorbereiter(player);
    SpieleWort(vorbereiter, sDataPath, Index, Anzahl, Wort, {});
}

bool ExterneStimmeDa(const std::string& sDataPath) {
    return Exist(sDataPath + "es.wav") > 0;
}
