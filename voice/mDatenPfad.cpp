// SPDX-License-Identifier: GPL-3.0-or-later
#include "mDatenPfad.h"

#include <QString>

#include <filesystem>

std::string DatenPfad(const std::string& dir) {
    // An unknown current directory (it was deleted) has no voice folder: "./" names nothing
    // then, where "" would have named the root.
    std::string pfad = dir.empty() ? "." : dir;
    if (pfad.back() != '/') {
        pfad += '/';
    }
    std::error_code ec;
    if (std::filesystem::is_directory(pfad + "DATA", ec)) {
        return pfad + "DATA/";
    }
    for (std::filesystem::directory_iterator it(pfad, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (QString::fromStdString(name).compare(u"data", Qt::CaseInsensitive) == 0 &&
            it->is_directory(ec)) {
            return pfad + name + "/";
        }
    }
    return pfad + "DATA/";
}
