// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProgVer.h"

#include <QString>

#include <array>

namespace {

// Unicode of the Windows-1252 codes 0x80 to 0x9F; 0 where the code page has no character.
constexpr std::array<char32_t, 32> Cp1252Hoch = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The revision letter: Windows-1252 code 96 + revision, ß for 9999, nothing where the
// code page has no character for it.
std::string RevisionsBuchstabe(int Revision) {
    if (Revision <= 0) {
        return {};
    }
    const int code = Revision == 9999 ? 0xDF : 96 + Revision;
    if (code > 0xFF) {
        return {};
    }
    char32_t c = static_cast<char32_t>(code);
    if (code >= 0x80 && code <= 0x9F) {
        c = Cp1252Hoch[static_cast<std::size_t>(code - 0x80)];
        if (c == 0) {
            return {};
        }
    }
    return QString(QChar(static_cast<char16_t>(c))).toStdString();
}

} // namespace

std::string ProgVer(int Major, int Minor, int Revision) {
    std::string minor = "00" + std::to_string(Minor);
    return std::to_string(Major) + "." + minor.substr(minor.size() - 2) +
           RevisionsBuchstabe(Revision);
}

std::string ProgVer() {
    return ProgVer(TIKKARU_VERSION_MAJOR, TIKKARU_VERSION_MINOR, TIKKARU_VERSION_PATCH);
}
