// SPDX-License-Identifier: GPL-3.0-or-later
#include "mDatenPfad.h"

#include "mExist.h"

std::string DatenPfad(const std::string& dir) {
    // An unknown current directory (it was deleted) has no voice folder: "./" names nothing
    // then, where "" would have named the root.
    std::string pfad = dir.empty() ? "." : dir;
    if (pfad.back() != '/') {
        pfad += '/';
    }
    return StoredFolder(pfad + "DATA/");
}
