// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DienstFenster.h"
#include "Player.h"
#include "Steuerelemente.h"
#include "mProzess.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class Ansage;
class Clock;
class AlignedTimer;
enum class Modus;

// The clock's one window: the controls, their handlers, the display refresh, the
// announcement and the scheduler's tick.
class Form1 : public Steuerelemente, public DienstFenster {
    Q_OBJECT
public:
    Form1(Clock& clock, Player& player, Prozess prozess, QWidget* parent = nullptr);

    // Start-up: everything from the single-instance test to showing the window.
    void Form_Load();
    // Shutdown: writes the settings and ends the program.
    void Form_Unload();
    // Writes the settings without ending (the session's commit at logout).
    void SichereEinstellungen();

    void ZeigeZeit() override;
    // Hands one word piece to the player in the selected voice (or the voice index given),
    // which tells meldung when it is heard; false when it has no recording (silence).
    bool SagWort(const std::string& Wort, Meldung meldung, int stimme = -1);
    // Starts an announcement and returns; vBusy stays 1 until it has been heard.
    void Tikkaru();
    // A request handed over from another copy: speaks once as the announce button does, with
    // the seconds as asked and in voice number stimme (0: the selected one), and tells fertig
    // the exit status for the caller and the pieces that stayed silent when it has been heard;
    // Beschaeftigt at once while an announcement runs.
    void SageAufAnfrage(bool sekunden, int stimme, Fertig fertig) override;
    // The rest of what the bus service asks (DienstFenster).
    int Stimmen() const override;
    bool Spricht() const override;
    bool Geladen() const override;
    void Hervorholen() override;
    QString Ziffern() const override;
    QString Satz() const override;
    void Timer1_Timer();

    void opMA_Click();
    void opAU_Click();
    void opMM_Click();
    void opHH_Click();
    void chSek_Click();
    void cOK_Click();
    void cExit_Click();

    // The controls (the others in Steuerelemente).
    AlignedTimer* Timer1;

    // Window state (see start-up; the rest in Steuerelemente).
    std::string sDataPath;
    int vBusy = 0;
    int vLoaded = 0;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool focusNextPrevChild(bool next) override;

private:
    // One announcement's own choices, and what is done when it has been heard.
    struct Anfrage {
        int sekunden = -1;   // 0 or 1 as asked; -1: as the check box says
        int stimme = -1;     // the voice list index asked for; -1: the selected one
        bool einmal = false; // a one-shot request: its sentence whatever the mode (EinmalSatz)
        std::function<void(const Ergebnis&)> fertig;
    };
    void Tikkaru(Anfrage anfrage);
    // The window as designed, then its handlers wired and the timer started.
    void ErzeugeSteuerelemente();
    void ModusKlick(QRadioButton* option, bool sekunden);
    void ZeigeZeit(const std::string& zeit);
    // The mode its option button selects.
    Modus GewaehlterModus() const;
    // The steps of start-up.
    void MissTwips();
    void FuelleStimmen();
    void ZeigeFenster();
    // Whether any of the window can be seen (shown, not minimised, not hidden from view).
    bool Gesehen() const;
    // Tells the timer what the schedule needs of the window: whenever mode, busy or sight
    // change.
    void MeldeZustand();
    void RearmTimer1();

    Clock& clock_;
    Player& player_;
    Prozess prozess_;
    // The time text of the tick that last started a full minute's or hour's announcement.
    std::string zuletztAngesagt_;
    // The announcement being spoken, while vBusy is 1.
    std::shared_ptr<Ansage> ansage_;
    bool beendet_ = false;
};
