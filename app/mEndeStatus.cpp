// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEndeStatus.h"

#include <array>
#include <cctype>

namespace {
// Handed over, no piece is named: the running clock knows which.
std::string StummeTeile(const std::vector<std::string>& stumm) {
    std::string text = stumm.empty() ? "Aufnahmen fehlen, Wortteile blieben stumm."
                                     : "Aufnahmen fehlen, diese Wortteile blieben stumm:";
    for (const std::string& wort : stumm) {
        text += &wort == &stumm.front() ? " " : ", ";
        for (const char c : wort) {
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return text + (stumm.empty() ? "" : ".");
}
} // namespace

bool FensterStatus(int status) {
    const auto s = static_cast<EndeStatus>(status);
    return s == EndeStatus::Normal ||
           (s >= EndeStatus::KeinTondienst && s <= EndeStatus::Beschaeftigt &&
            s != EndeStatus::AndereKopie);
}

EndeStatus StatusVon(const Ergebnis& ergebnis) {
    // In the order of PlayFailure.
    static_assert(static_cast<int>(PlayFailure::Undecodable) == 4);
    constexpr std::array<EndeStatus, 5> Status = {
        EndeStatus::Normal, EndeStatus::KeinTondienst, EndeStatus::TondienstStumm,
        EndeStatus::TondienstWeg, EndeStatus::AufnahmeDefekt};
    if (ergebnis.verfallen) {
        return EndeStatus::Abgebrochen;
    }
    const auto i = static_cast<std::size_t>(ergebnis.fehler);
    const EndeStatus status = i < Status.size() ? Status[i] : EndeStatus::AufnahmeDefekt;
    return status == EndeStatus::Normal && !ergebnis.stumm.empty() ? EndeStatus::TeileFehlen
                                                                   : status;
}

std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm) {
    const auto zeile = [](const std::string& text) { return "tikkaru: " + text + "\n"; };
    const std::string nicht = "; die Zeit wurde nicht angesagt.";
    const std::string nichtGanz = "; die Zeit wurde nicht vollständig angesagt.";
    switch (status) {
    case EndeStatus::Normal:
        return "";
    case EndeStatus::KeinTondienst:
        return zeile("kein Tondienst erreichbar (PulseAudio oder PipeWire)" + nicht);
    case EndeStatus::TondienstStumm:
        return zeile("der Tondienst antwortet nicht mehr" + nichtGanz);
    case EndeStatus::TondienstWeg:
        return zeile("die Verbindung zum Tondienst ist abgebrochen" + nichtGanz);
    case EndeStatus::AufnahmeDefekt:
        return zeile("eine Aufnahme ließ sich nicht abspielen" + nichtGanz);
    case EndeStatus::AndereKopie:
        return zeile("eine andere Kopie läuft, antwortet aber nicht" + nicht);
    case EndeStatus::Abgebrochen:
        return zeile("abgebrochen" + nichtGanz);
    case EndeStatus::Beschaeftigt:
        return zeile("die laufende Uhr sagt gerade die Zeit an; sie wurde nicht noch einmal "
                     "angesagt.");
    case EndeStatus::TeileFehlen:
        return zeile(StummeTeile(Stumm));
    }
    return "";
}
