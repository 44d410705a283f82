// SPDX-License-Identifier: GPL-3.0-or-later
#include "mPlaySound.h"

#include "mExist.h"
#include "mKatalog.h"

bool PlaySoundFile(Player& player, std::string FileName, int32_t Flags) {
    [[maybe_unused]] const int32_t flags = Flags | SND_FILENAME;
    const std::string found = FindFile(FileName);
    if (found.empty()) {
        // The file went away after the caller probed it: play nothing rather than hand the
        // player a path that names no file.
        return false;
    }
    // Make sure that the lookup found the very file the path names, only in another letter
    // case: a name found through wildcards is not the name written in the path.
    if (!SameName(FileName.substr(DirPart(FileName).size()), found.substr(DirPart(found).size()))) {
        return false;
    }
    // The stored path, so that the file is found on a file system that tells case apart.
    player.PlayFile(found);
    return true;
}

bool PlaySoundRes(Player& player, int32_t ResId, std::string ResType, int32_t Flags) {
    [[maybe_unused]] const int32_t flags = Flags | SND_MEMORY;
    const QByteArray image = LadeAufnahme(ResType, ResId);
    if (image.isEmpty()) {
        return false;
    }
    player.PlayImage(image);
    return true;
}
