// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mProzess.h"

#include <memory>
#include <string>
#include <vector>

class Ansage;
class Clock;
class Player;

// "!" or "!!": the time spoken once, without a window, then the end with a status that tells
// whether all of it was heard. Needs Qt Core only: no control is made, nothing is highlighted,
// and the sentence is the window's in its design state (every minute; the seconds for "!!").
// The voice is the stored one or the command line's; nothing is written. While another copy
// runs, the request is handed over to it instead.
class EinmalAnsage {
public:
    EinmalAnsage(Clock& clock, Player& player, Prozess prozess);
    ~EinmalAnsage();
    Q_DISABLE_COPY_MOVE(EinmalAnsage)

    // Hands the request over and ends, or starts the announcement and returns: the event loop
    // speaks it, and the program ends once it has been heard.
    void Starte();
    // A signal or the session's end: ends the program, cut off (Abgebrochen) while speaking.
    void Abbrechen();

    // The sentence being spoken ("" before the start).
    const std::string& Satz() const { return satz_; }
    // The voice list index it is spoken in.
    int Stimme() const { return stimme_; }

private:
    void Ende(int status, const std::vector<std::string>& stumm = {});

    Clock& clock_;
    Player& player_;
    Prozess prozess_;
    std::string sDataPath_;
    std::string satz_;
    int stimme_ = 0;
    int anzahl_ = 0;
    std::shared_ptr<Ansage> ansage_;
    bool beendet_ = false;
};
