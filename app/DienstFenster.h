// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

// What the bus service asks of the window, and all it may reach of it.
class DienstFenster {
public:
    using Fertig = std::function<void(int Status, const std::vector<std::string>& Stumm)>;

    // Entries of the voice list: the voice numbers a request may name (0 for the selected one).
    virtual int Stimmen() const = 0;
    // An announcement is being spoken.
    virtual bool Spricht() const = 0;
    // Start-up is through and the window has been shown.
    virtual bool Geladen() const = 0;
    // Speaks once for another copy and tells fertig the exit status when it has been heard
    // (see Form1).
    virtual void SageAufAnfrage(bool sekunden, int stimme, Fertig fertig) = 0;
    // Brings the window up: restored, raised and activated.
    virtual void Hervorholen() = 0;
    // Brings the digits and the sentence up to date.
    virtual void ZeigeZeit() = 0;
    // The digits and the sentence as shown.
    virtual QString Ziffern() const = 0;
    virtual QString Satz() const = 0;

protected:
    ~DienstFenster() = default;
};
