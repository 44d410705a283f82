// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEinmal.h"

#include "Clock.h"
#include "Player.h"
#include "mAnsage.h"
#include "mDatenPfad.h"
#include "mEinstellungen.h"
#include "mKatalog.h"
#include "mSagWort.h"
#include "mStimmWahl.h"
#include "mZeitSatz.h"
#include "mZeitplan.h"

EinmalAnsage::EinmalAnsage(Clock& clock, Player& player, Prozess prozess)
    : clock_(clock), player_(player), prozess_(std::move(prozess)) {}

EinmalAnsage::~EinmalAnsage() = default;

void EinmalAnsage::Starte() {
    const Aufruf& aufruf = prozess_.Argumente;
    if (prozess_.PreviousInstance()) {
        std::vector<std::string> stumm;
        const int status = prozess_.HandOver(aufruf.Sekunden, GefragteStimme(aufruf.Stimme), stumm);
        Ende(status, stumm);
        return;
    }
    sDataPath_ = DatenPfad(prozess_.CurrentDir);
    anzahl_ = EingebauteStimmen + (ExterneStimmeDa(sDataPath_) ? 1 : 0);
    stimme_ =
        StimmWahl(GespeicherterZustand::Lies("Quorvane", "Tikkaru").Voice, aufruf.Stimme, anzahl_);
    satz_ = EinmalSatz(clock_.TimeText(), aufruf.Sekunden);
    Vorleser vorleser{
        [](int, int) {},
        [this](const std::string& wort, Meldung meldung) {
            return SpieleWort(player_, sDataPath_, stimme_, anzahl_, wort, std::move(meldung));
        },
    };
    ansage_ = Ansage::Starte(satz_, player_, clock_, std::move(vorleser),
                             [this](const Ergebnis& ergebnis) {
                                 ansage_.reset();
                                 Ende(static_cast<int>(StatusVon(ergebnis)), ergebnis.stumm);
                             });
}

void EinmalAnsage::Abbrechen() {
    Ende(static_cast<int>(ansage_ ? EndeStatus::Abgebrochen : EndeStatus::Normal));
}

void EinmalAnsage::Ende(int status, const std::vector<std::string>& stumm) {
    if (beendet_) {
        return;
    }
    beendet_ = true;
    ansage_.reset();
    prozess_.EndProgram(status, stumm);
}
