// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include "AlignedTimer.h"
#include "Clock.h"
#include "Player.h"
#include "Satzfeld.h"
#include "mAnsage.h"
#include "mDatenPfad.h"
#include "mEinmal.h"
#include "mEinstellungen.h"
#include "mEntwurf.h"
#include "mFensterZustand.h"
#include "mKatalog.h"
#include "mProgVer.h"
#include "mSagWort.h"
#include "mSchrift.h"
#include "mWaitS.h"
#include "mZeitSatz.h"
#include "mZeitplan.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>

Form1::Form1(Clock& clock, Player& player, Prozess prozess, QWidget* parent)
    : Steuerelemente(parent), clock_(clock), player_(player), prozess_(std::move(prozess)) {
    LadeSchriften();
    ErzeugeSteuerelemente();
}

void Form1::MissTwips() {
    vTwipsX = 1440.0 / logicalDpiX();
    vTwipsY = 1440.0 / logicalDpiY();
}

void Form1::ErzeugeSteuerelemente() {
    MissTwips();
    Timer1 = new AlignedTimer(clock_, 500, this);
    Timer1->setObjectName("Timer1");
    EntwirfFenster(*this);

    auto beiAuswahl = [this](QRadioButton* option, void (Form1::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool an) {
            if (an) {
                (this->*handler)();
            }
        });
    };
    beiAuswahl(opMA, &Form1::opMA_Click);
    beiAuswahl(opAU, &Form1::opAU_Click);
    beiAuswahl(opMM, &Form1::opMM_Click);
    beiAuswahl(opHH, &Form1::opHH_Click);
    connect(chSek, &QCheckBox::toggled, this, &Form1::chSek_Click);
    connect(cOK, &QPushButton::clicked, this, &Form1::cOK_Click);
    connect(cExit, &QPushButton::clicked, this, &Form1::cExit_Click);
    connect(Timer1, &AlignedTimer::timeout, this, &Form1::Timer1_Timer);
    MeldeZustand();
    Timer1->start();
}

Modus Form1::GewaehlterModus() const {
    if (opAU->isChecked()) {
        return Modus::Fortlaufend;
    }
    if (opMM->isChecked()) {
        return Modus::JedeMinute;
    }
    if (opHH->isChecked()) {
        return Modus::JedeStunde;
    }
    return Modus::Manuell;
}

void Form1::ZeigeZeit() {
    ZeigeZeit(clock_.TimeText());
}

void Form1::ZeigeZeit(const std::string& zeit) {
    // A box is set only when its text changes: every other tick of the 500 ms timer finds the
    // same time, and repainting the boxes for nothing is most of what an idle clock costs.
    const auto zeige = [](Satzfeld* box, const std::string& text) {
        if (const QString neu = QString::fromStdString(text); box->text() != neu) {
            box->setText(neu);
        }
    };
    zeige(TZ, zeit);
    zeige(TT, AnzeigeSatz(zeit, chSek->isChecked()));
    TT->setCursorPosition(0);
}

bool Form1::SagWort(const std::string& Wort, Meldung meldung, int stimme) {
    return SpieleWort(player_, sDataPath, stimme >= 0 ? stimme : coVoice->currentIndex(),
                      coVoice->count(), Wort, std::move(meldung));
}

void Form1::Tikkaru() {
    Tikkaru(Anfrage{});
}

// Starts the announcement and returns: the walk goes on from the player's reports and the
// pauses' timers, while the window answers as ever.
void Form1::Tikkaru(Anfrage anfrage) {
    if (vBusy == 1) {
        return;
    }
    vBusy = 1;
    MeldeZustand();
    // A disabled button hands its focus on to the next control, the exit button, where Enter
    // would end the clock: the focus goes to the sentence, as after a click.
    if (focusWidget() == cOK) {
        TT->setFocus();
    }
    cOK->setEnabled(false);

    const std::string zeit = clock_.TimeText();
    TZ->setText(QString::fromStdString(zeit));
    const bool sekunden = anfrage.sekunden >= 0 ? anfrage.sekunden == 1 : chSek->isChecked();
    const std::string satz = anfrage.einmal
                                 ? EinmalSatz(zeit, sekunden)
                                 : SprechSatz(zeit, sekunden,
                                              GewaehlterModus() == Modus::JedeMinute ||
                                                  GewaehlterModus() == Modus::JedeStunde);
    TT->setText(QString::fromStdString(satz));
    TT->setCursorPosition(0);

    const int stimme = anfrage.stimme;
    Vorleser vorleser{
        [this](int start, int laenge) {
            TT->setSelection(start, laenge);
            if (laenge == 0) {
                TT->setCursorPosition(0);
            }
        },
        [this, stimme](const std::string& wort, Meldung meldung) {
            return SagWort(wort, std::move(meldung), stimme);
        },
    };
    ansage_ = Ansage::Starte(satz, player_, clock_, std::move(vorleser),
                             [this, fertig = std::move(anfrage.fertig)](const Ergebnis& ergebnis) {
                                 ansage_.reset();
                                 vBusy = 0;
                                 MeldeZustand();
                                 cOK->setEnabled(true);
                                 if (fertig) {
                                     fertig(ergebnis);
                                 }
                             });
}

void Form1::SageAufAnfrage(bool sekunden, int stimme, Fertig fertig) {
    if (vBusy == 1) {
        fertig(static_cast<int>(EndeStatus::Beschaeftigt), {});
        return;
    }
    if (beendet_) {
        fertig(static_cast<int>(EndeStatus::Abgebrochen), {});
        return;
    }
    // The check box and the voice list stay as they are: the request's choices hold for its
    // announcement only.
    Tikkaru({sekunden ? 1 : 0, GefragterEintrag(stimme, coVoice->count()), true,
             [fertig = std::move(fertig)](const Ergebnis& ergebnis) {
                 fertig(static_cast<int>(StatusVon(ergebnis)), ergebnis.stumm);
             }});
}

int Form1::Stimmen() const {
    return coVoice->count();
}

bool Form1::Spricht() const {
    return vBusy == 1;
}

bool Form1::Geladen() const {
    return vLoaded != 0;
}

void Form1::Hervorholen() {
    showNormal();
    raise();
    activateWindow();
}

QString Form1::Ziffern() const {
    return TZ->text();
}

QString Form1::Satz() const {
    return TT->text();
}

void Form1::Timer1_Timer() {
    // The time is read once a tick; the display and every decision of the tick use it.
    const std::string zeit = clock_.TimeText();
    if (vBusy == 0) {
        ZeigeZeit(zeit);
    }
    const TickEntscheidung tick =
        EntscheideTick(zeit, GewaehlterModus(), zuletztAngesagt_, vBusy != 0);
    if (tick.merken) {
        zuletztAngesagt_ = zeit;
    }
    if (tick.ansagen) {
        Tikkaru();
    }
    if (tick.vorbereiten) {
        // Every sentence begins with "Es": its stream is opened now, so that it is heard on the
        // dot.
        BereiteWortVor(player_, sDataPath, coVoice->currentIndex(), coVoice->count(), "Es");
    }
}

void Form1::MeldeZustand() {
    Timer1->SetZustand({GewaehlterModus(), vBusy != 0, Gesehen()});
}

// Arms the running timer anew for what the next tick is needed for now (a stopped one, as in
// tests that deliver the ticks themselves, stays stopped).
void Form1::RearmTimer1() {
    MeldeZustand();
    if (Timer1->isActive()) {
        Timer1->start();
    }
}

bool Form1::Gesehen() const {
    return isVisible() && windowHandle() != nullptr && windowHandle()->isExposed();
}

void Form1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (windowHandle() != nullptr) {
        windowHandle()->installEventFilter(this);
    }
    RearmTimer1();
}

// The window is seen again (restored, uncovered): the display is brought up to date before
// it is drawn, and the ticks resume.
bool Form1::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::Expose && o == windowHandle()) {
        if (vBusy == 0) {
            ZeigeZeit();
        }
        QTimer::singleShot(0, this, &Form1::RearmTimer1);
        // The icon follows the first picture, which this exposure draws before the timer runs.
        if (!testAttribute(Qt::WA_SetWindowIcon)) {
            QTimer::singleShot(0, this, [this] { SetzeSymbol(*this); });
        }
    }
    return QWidget::eventFilter(o, e);
}

void Form1::ModusKlick(QRadioButton* option, bool sekunden) {
    if (option->isChecked()) {
        chSek->setChecked(sekunden);
        // The new mode may need the next tick sooner (continuous mode: every half second).
        RearmTimer1();
    }
    if (isVisible()) {
        TT->setFocus();
    }
}

void Form1::opMA_Click() {
    ModusKlick(opMA, true);
}
void Form1::opAU_Click() {
    ModusKlick(opAU, true);
}
void Form1::opMM_Click() {
    ModusKlick(opMM, false);
}
void Form1::opHH_Click() {
    ModusKlick(opHH, false);
}

void Form1::chSek_Click() {
    if (isVisible()) {
        TT->setFocus();
        // Shown at once, not at the next tick a second away; a mode's click comes here too
        // when it changes the box.
        if (vBusy == 0) {
            ZeigeZeit();
        }
    }
}

void Form1::cOK_Click() {
    if (isVisible()) {
        TT->setFocus();
    }
    // Disabled until the announcement has been heard.
    cOK->setEnabled(false);
    Tikkaru();
}

void Form1::cExit_Click() {
    close();
}

void Form1::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void Form1::keyPressEvent(QKeyEvent* e) {
    if (!DefaultOderAbbruch(*this, *e)) {
        QWidget::keyPressEvent(e);
    }
}

bool Form1::focusNextPrevChild(bool next) {
    QWidget* vorher = focusWidget();
    if (!QWidget::focusNextPrevChild(next)) {
        return false;
    }
    FokusAufGewaehlteOption(*this, vorher, next);
    return true;
}

void Form1::Form_Load() {
    // A second copy ends at once and brings the running window to the front. (Speaking once
    // makes no window: EinmalAnsage.)
    if (prozess_.PreviousInstance()) {
        prozess_.BringToFront();
        prozess_.EndProgram(static_cast<int>(EndeStatus::Normal), {});
        return;
    }
    MissTwips();
    sRegApp = "Quorvane";
    sRegSection = "Tikkaru";
    sDataPath = DatenPfad(prozess_.CurrentDir);

    hide();

    const GespeicherterZustand store = GespeicherterZustand::Lies(sRegApp, sRegSection);
    Platziere(*this, store);
    FuelleStimmen();
    WaehleStimme(*this, store, prozess_.Argumente.Stimme);
    WendeEinstellungenAn(*this, store);
    ZeigeFenster();
}

// The built-in voices, and the external voice when its folder offers it.
void Form1::FuelleStimmen() {
    for (const EingebauteStimme& stimme : StimmKatalog) {
        coVoice->addItem(QString::fromUtf8(stimme.Eintrag.data(),
                                           static_cast<qsizetype>(stimme.Eintrag.size())));
    }
    if (ExterneStimmeDa(sDataPath)) {
        coVoice->addItem("Externe Stimme");
    }
}

// The title with the version, then the window, its focus and the first display. The date is
// the one the clock has always carried in its title, not the date of the build.
void Form1::ZeigeFenster() {
    setWindowTitle(windowTitle() + "  Version " + QString::fromStdString(ProgVer()) + " - " +
                   "28.05.2014");
    vLoaded = 1;
    show();
    // A screen of another scale draws the window anew, with the faces that scale there.
    if (QWindow* fenster = windowHandle()) {
        connect(fenster, &QWindow::screenChanged, this, [this] { SetzeSchriften(*this); });
    }
    TT->setFocus();
    ZeigeZeit();
}

void Form1::Form_Unload() {
    beendet_ = true;
    SichereEinstellungen();
    prozess_.EndProgram(static_cast<int>(EndeStatus::Normal), {});
}

// The window's position, mode, voice and seconds choice, as shutdown keeps them; the session's
// commit at logout writes them too, while the clock goes on.
void Form1::SichereEinstellungen() {
    if (vLoaded == 0) {
        return; // speaking once, or start-up not done: nothing of the window to keep
    }
    SichereZustand(*this);
}
