// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include "AlignedTimer.h"
#include "Clock.h"
#include "ComboBoxAccessible.h"
#include "EventPump.h"
#include "Player.h"
#include "ScreenPlacement.h"
#include "mAnsage.h"
#include "mDatenPfad.h"
#include "mEinstellungen.h"
#include "mKatalog.h"
#include "mProgVer.h"
#include "mProzess.h"
#include "mSagWort.h"
#include "mSchrift.h"
#include "mWaitS.h"
#include "mZeitSatz.h"
#include "mZeitplan.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

QString Text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The classic gap between an option's mark and its caption, so that the captions fit the
// controls' fixed widths.
class EngeMarken final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override {
        if (m == PM_CheckBoxLabelSpacing || m == PM_RadioButtonLabelSpacing) {
            return 3;
        }
        return QProxyStyle::pixelMetric(m, o, w);
    }
};

// Sets a text box only when its text changes: every other tick of the 500 ms timer finds the
// same time, and repainting the boxes for nothing is most of what an idle clock costs.
void Zeige(QLineEdit* box, const std::string& text) {
    const QString neu = QString::fromStdString(text);
    if (box->text() != neu) {
        box->setText(neu);
    }
}

// The application icon in the sizes of the hicolor theme that task bars and title bars use.
QIcon ProgrammSymbol() {
    QIcon symbol;
    for (const int n : {16, 22, 24, 32, 48, 64, 128}) {
        symbol.addFile(QString(":/icons/%1x%1/de.quorvane.tikkaru.png").arg(n), QSize(n, n));
    }
    return symbol;
}

// Twips in pixels, at the screen's twips per pixel.
int Pixel(double twips, double twipsProPixel) {
    return static_cast<int>(std::lround(twips / twipsProPixel));
}

// A control of the fixed layout: made as a member of the window by `erzeuge` (its kind), in its
// container, at its twips rectangle, with its caption.
struct Steuerelement {
    QWidget* (*erzeuge)(Form1& form, QWidget* eltern);
    const char* name;
    QGroupBox* Form1::*rahmen; // nullptr: the window itself
    QRect twips;
    const char* text;
};

using F = Form1;

template <class T, T* Form1::*feld> QWidget* Neu(Form1& form, QWidget* eltern) {
    form.*feld = new T(eltern);
    return form.*feld;
}

// The controls in the order they are made; the timer comes before them.
const std::array<Steuerelement, 14> Layout = {{
    {Neu<QComboBox, &F::coVoice>, "coVoice", nullptr, {2520, 1230, 3765, 315}, ""},
    {Neu<QGroupBox, &F::Frame1>, "Frame1", nullptr, {60, 0, 7755, 645}, ""},
    {Neu<QLineEdit, &F::TZ>, "TZ", &F::Frame1, {120, 210, 825, 315}, "00:00:00"},
    {Neu<QLineEdit, &F::TT>, "TT", &F::Frame1, {1020, 210, 6615, 315}, ""},
    {Neu<QGroupBox, &F::Frame2>, "Frame2", nullptr, {60, 630, 6315, 1035}, ""},
    {Neu<QCheckBox, &F::chSek>, "chSek", &F::Frame2, {4830, 210, 1365, 315}, "Se&kunden ansagen"},
    {Neu<QRadioButton, &F::opHH>, "opHH", &F::Frame2, {3630, 210, 1095, 315}, "jede &Stunde"},
    {Neu<QRadioButton, &F::opMM>, "opMM", &F::Frame2, {2460, 210, 1095, 315}, "jede &Minute"},
    {Neu<QRadioButton, &F::opAU>, "opAU", &F::Frame2, {1290, 210, 1095, 315}, "&Fortlaufend"},
    {Neu<QRadioButton, &F::opMA>, "opMA", &F::Frame2, {120, 210, 1095, 315}, "M&anuell"},
    {Neu<QLabel, &F::Label1>, "Label1", &F::Frame2, {150, 660, 1545, 195}, "Ausgewählte Stimme:"},
    {Neu<QGroupBox, &F::Frame4>, "Frame4", nullptr, {6450, 630, 1365, 1035}, ""},
    {Neu<QPushButton, &F::cOK>, "cOK", &F::Frame4, {120, 210, 1125, 315}, "&Tikkaru !"},
    {Neu<QPushButton, &F::cExit>, "cExit", &F::Frame4, {120, 600, 1125, 315}, "Be&enden"},
}};

} // namespace

Form1::Form1(Clock& clock, Player& player, EventPump& pump, Prozess prozess, QWidget* parent)
    : QWidget(parent), clock_(clock), player_(player), pump_(pump), prozess_(std::move(prozess)) {
    // Speaking once shows no window: its fonts would only delay the first sound.
    if (!prozess_.Argumente.Einmal) {
        LadeSchriften();
    }
    ErzeugeSteuerelemente();
}

Form1::~Form1() = default;

void Form1::MissTwips() {
    vTwipsX = 1440.0 / logicalDpiX();
    vTwipsY = 1440.0 / logicalDpiY();
}

void Form1::ErzeugeSteuerelemente() {
    MissTwips();
    setWindowTitle("Quorvane Tikkaru");
    setWindowIcon(ProgrammSymbol());
    setFixedSize(Pixel(7890, vTwipsX), Pixel(1740, vTwipsY));

    Timer1 = new AlignedTimer(clock_, 500, this);
    Timer1->setObjectName("Timer1");
    for (const Steuerelement& e : Layout) {
        QWidget* w = e.erzeuge(*this, e.rahmen ? static_cast<QWidget*>(this->*e.rahmen) : this);
        w->setObjectName(e.name);
        w->setGeometry(Pixel(e.twips.x(), vTwipsX), Pixel(e.twips.y(), vTwipsY),
                       Pixel(e.twips.width(), vTwipsX), Pixel(e.twips.height(), vTwipsY));
        if (*e.text != 0) {
            w->setProperty("text", QString::fromUtf8(e.text));
        }
    }

    EntwurfsZustand();
    SchriftenAnpassen();

    // The voice list belongs to the window but is drawn in front of the frame.
    coVoice->raise();

    opMM->setChecked(true);

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
    ZugaenglicheNamen();
}

void Form1::EntwurfsZustand() {
    coVoice->setEditable(false);
    TZ->setReadOnly(true);
    TZ->setAlignment(Qt::AlignCenter);
    TT->setReadOnly(true);
    TT->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The spoken word stays highlighted also while another control has the focus.
    QPalette p = TT->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    TT->setPalette(p);
    cOK->setDefault(true);
    // Enter on the focused exit button ends, as it does on any focused button.
    cExit->setAutoDefault(true);
    // The sentence first, the digits last; frames and label take no focus.
    const std::array<QWidget*, 10> reihe = {TT,    opMA,    opAU, opMM,  opHH,
                                            chSek, coVoice, cOK,  cExit, TZ};
    for (std::size_t i = 1; i < reihe.size(); ++i) {
        setTabOrder(reihe[i - 1], reihe[i]);
    }
    for (QWidget* w : std::array<QWidget*, 4>{Frame1, Frame2, Frame4, Label1}) {
        w->setFocusPolicy(Qt::NoFocus);
    }

    // The window owns the style of the marks; the controls only use it.
    auto* marken = new EngeMarken;
    marken->setParent(this);
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{chSek, opHH, opMM, opAU, opMA}) {
        b->setStyle(marken);
    }
}

void Form1::SchriftenAnpassen() {
    const qreal skala = devicePixelRatioF();
    setFont(Schrift("Tahoma", 8.25, skala));
    const QFont klassisch = Schrift("MS Sans Serif", 8.25, skala);
    for (QWidget* w : {Frame1, Frame2, Frame4}) {
        w->setFont(klassisch);
    }
    // Each group shares one font, so that controls alike look alike; the fonts of the layout
    // fit as they are where the classic faces are installed.
    PasseAn({TZ, TT}, klassisch);
    PasseAn({Label1}, klassisch);
    PasseAn({chSek, opHH, opMM, opAU, opMA, cOK, cExit}, Schrift("Tahoma", 6.75, skala));
}

void Form1::ZugaenglicheNamen() {
    const auto benenne = [](QWidget* w, const char* name, const char* beschreibung) {
        w->setAccessibleName(QString::fromUtf8(name));
        w->setAccessibleDescription(QString::fromUtf8(beschreibung));
    };
    benenne(Frame1, "Uhrzeit", "Die Uhrzeit in Ziffern und als Satz");
    benenne(TZ, "Uhrzeit in Ziffern", "Stunden, Minuten und Sekunden");
    benenne(TT, "Uhrzeit als Satz",
            "Während der Ansage ist der gerade gesprochene Wortteil markiert");
    benenne(Frame2, "Ansage", "Wann und mit welcher Stimme die Zeit angesagt wird");
    benenne(opMA, "Manuell", "Ansage nur auf Knopfdruck");
    benenne(opAU, "Fortlaufend", "Eine Ansage nach der anderen");
    benenne(opMM, "jede Minute", "Ansage zu jeder vollen Minute");
    benenne(opHH, "jede Stunde", "Ansage zu jeder vollen Stunde");
    benenne(chSek, "Sekunden ansagen", "Die Sekunden werden mit angesagt");
    benenne(Label1, "Ausgewählte Stimme:", "");
    benenne(coVoice, "Ausgewählte Stimme", "Die Stimme, die die Zeit ansagt");
    Label1->setBuddy(coVoice);
    SetComboBoxLabel(coVoice, Label1);
    benenne(Frame4, "Befehle", "");
    benenne(cOK, "Tikkaru – Zeit ansagen", "Sagt die Uhrzeit jetzt an (Eingabetaste)");
    benenne(cExit, "Beenden", "Beendet das Programm und speichert die Einstellungen (Esc)");
    SetWindowRole(this);
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
    Zeige(TZ, zeit);
    Zeige(TT, AnzeigeSatz(zeit, chSek->isChecked()));
    TT->setCursorPosition(0);
}

void Form1::SagWort(const std::string& Wort) {
    const int stimme = stimmeAufAnfrage_ >= 0 ? stimmeAufAnfrage_ : coVoice->currentIndex();
    if (!SpieleWort(player_, sDataPath, stimme, coVoice->count(), Wort) &&
        std::find(stumm_.begin(), stumm_.end(), Wort) == stumm_.end()) {
        stumm_.push_back(Wort);
    }
}

void Form1::Tikkaru() {
    if (vBusy == 1) {
        return;
    }
    vBusy = 1;
    MeldeZustand();
    cOK->setEnabled(false);
    stumm_.clear();

    const std::string zeit = clock_.TimeText();
    TZ->setText(QString::fromStdString(zeit));
    const bool sekunden = sekundenAufAnfrage_ >= 0 ? sekundenAufAnfrage_ == 1 : chSek->isChecked();
    const std::string satz = SprechSatz(zeit, sekunden,
                                        GewaehlterModus() == Modus::JedeMinute ||
                                            GewaehlterModus() == Modus::JedeStunde);
    TT->setText(QString::fromStdString(satz));
    TT->setCursorPosition(0);

    Vorlesen(satz, {
                       [this](int start, int laenge) { TT->setSelection(start, laenge); },
                       [this](const std::string& wort) {
                           pump_.ProcessPending();
                           SagWort(wort);
                       },
                       [this] { WaitS(0.25, clock_, pump_); },
                   });
    // The last piece is heard to its end while it is still highlighted.
    player_.Drain();

    TT->setSelection(0, 0);
    TT->setCursorPosition(0);
    vBusy = 0;
    MeldeZustand();
    cOK->setEnabled(true);
}

int Form1::SageAufAnfrage(bool sekunden, int stimme) {
    if (vBusy == 1) {
        return static_cast<int>(EndeStatus::Beschaeftigt);
    }
    if (beendet_) {
        return static_cast<int>(EndeStatus::Abgebrochen);
    }
    // The check box and the voice list stay as they are: the request's choices hold for its
    // announcement only.
    sekundenAufAnfrage_ = sekunden ? 1 : 0;
    stimmeAufAnfrage_ = stimme >= 1 && stimme <= coVoice->count() ? stimme - 1 : -1;
    player_.BeginAnnouncement();
    Tikkaru();
    sekundenAufAnfrage_ = -1;
    stimmeAufAnfrage_ = -1;
    return static_cast<int>(Ergebnis(player_.AnnouncementFailure()));
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
    }
}

void Form1::cOK_Click() {
    if (isVisible()) {
        TT->setFocus();
    }
    cOK->setEnabled(false);
    Tikkaru();
    cOK->setEnabled(true);
}

void Form1::cExit_Click() {
    close();
}

void Form1::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

void Form1::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The keypad's Enter carries the keypad modifier and announces as Return does.
        if (cOK->isEnabled() && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            cOK->click();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (e->modifiers() == Qt::NoModifier) {
            cExit->click();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(e);
}

bool Form1::focusNextPrevChild(bool next) {
    const auto option = [this](const QWidget* w) {
        return w == opMA || w == opAU || w == opMM || w == opHH;
    };
    QWidget* vorher = focusWidget();
    if (!QWidget::focusNextPrevChild(next)) {
        return false;
    }
    // Qt makes the four options one tab stop, but enters it at the option that had the focus
    // last; as on the original platform the focus goes to the selected one, so that Space
    // there keeps the mode.
    if (!option(vorher) && option(focusWidget())) {
        for (QRadioButton* o : {opMA, opAU, opMM, opHH}) {
            if (o->isChecked()) {
                o->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            }
        }
    }
    return true;
}

namespace {

// The stored value of Mode and the option it selects, for start-up and shutdown alike.
constexpr std::array<std::pair<const char*, QRadioButton * Form1::*>, 4> Modi = {{
    {"1", &Form1::opMA},
    {"2", &Form1::opAU},
    {"3", &Form1::opMM},
    {"4", &Form1::opHH},
}};

} // namespace

void Form1::Form_Load() {
    // A second copy ends at once: a request to speak is handed over to the running copy, which
    // says whether it was heard; a plain start brings the running window to the front.
    if (prozess_.PreviousInstance()) {
        if (prozess_.Argumente.Einmal) {
            prozess_.EndProgram(prozess_.HandOver(prozess_.Argumente.Sekunden, GefragteStimme()));
        } else {
            prozess_.BringToFront();
            prozess_.EndProgram(static_cast<int>(EndeStatus::Normal));
        }
        return;
    }
    MissTwips();
    sRegApp = "Quorvane";
    sRegSection = "Tikkaru";
    sDataPath = DatenPfad(prozess_.CurrentDir);

    // Hidden until start-up has decided what the window is for: speaking once never shows it.
    hide();

    const GespeicherterZustand store = GespeicherterZustand::Lies(sRegApp, sRegSection);
    Platziere(store);
    FuelleStimmen();
    WaehleStimme(store);
    if (prozess_.Argumente.Einmal) {
        SageEinmal();
        return;
    }
    WendeEinstellungenAn(store);
    ZeigeFenster();
}

// The stored position; positions are stored in pixels, the twips round trip of the window
// toolkit cancels out. A position no screen shows wholly (a monitor unplugged, a smaller
// screen or a larger scale since) is moved onto the nearest screen, and stored so at the end.
void Form1::Platziere(const GespeicherterZustand& store) {
    const QPoint gespeichert(std::max(store.WinLeft, 0), std::max(store.WinTop, 0));
    QList<QRect> schirme;
    for (const QScreen* schirm : QGuiApplication::screens()) {
        schirme.append(schirm->availableGeometry());
    }
    move(OnScreens(QRect(gespeichert, frameGeometry().size()), schirme));
}

// The built-in voices, and the external voice when its folder offers it.
void Form1::FuelleStimmen() {
    for (const EingebauteStimme& stimme : StimmKatalog) {
        coVoice->addItem(Text(stimme.Eintrag));
    }
    if (ExterneStimmeDa(sDataPath)) {
        coVoice->addItem("Externe Stimme");
    }
}

// The stored voice, or the entry that a second argument names; the first entry when either
// lies beyond the list.
void Form1::WaehleStimme(const GespeicherterZustand& store) {
    double v = store.Voice;
    const double arg2 = prozess_.Argumente.Stimme;
    if (arg2 > 0) {
        v = arg2 - 1;
    }
    if (v > coVoice->count() - 1) {
        v = 0;
    }
    coVoice->setCurrentIndex(static_cast<int>(std::nearbyint(v)));
}

// The voice number the second argument asks for, for a running copy: 0 for none (its
// selected voice), the first entry for one beyond any list, as at start-up.
int Form1::GefragteStimme() const {
    const double arg2 = prozess_.Argumente.Stimme;
    if (!(arg2 > 0)) {
        return 0;
    }
    const double v = std::nearbyint(arg2);
    return v > EingebauteStimmen + 1 ? 1 : static_cast<int>(v);
}

// "!" or "!!": the time once, without the window, then the end, with a status that tells
// whether all of it was heard.
void Form1::SageEinmal() {
    if (prozess_.Argumente.Sekunden) {
        chSek->setChecked(true);
    }
    Tikkaru();
    prozess_.EndProgram(static_cast<int>(Ergebnis(player_.FirstFailure())));
}

// The status of the announcement just made: a failure of the sound server or of a recording
// comes before pieces that had no recording.
EndeStatus Form1::Ergebnis(PlayFailure failure) const {
    const EndeStatus status = StatusNach(failure);
    return status == EndeStatus::Normal && !stumm_.empty() ? EndeStatus::TeileFehlen : status;
}

// The stored mode and seconds choice.
void Form1::WendeEinstellungenAn(const GespeicherterZustand& store) {
    for (const auto& [wert, option] : Modi) {
        if (store.Mode == wert) {
            (this->*option)->setChecked(true);
        }
    }
    if (store.Sekunden == "1") {
        chSek->setChecked(true);
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
        connect(fenster, &QWindow::screenChanged, this, &Form1::SchriftenAnpassen,
                Qt::UniqueConnection);
    }
    TT->setFocus();
    ZeigeZeit();
}

void Form1::Form_Unload() {
    beendet_ = true;
    if (vLoaded == 0) {
        // Only speaking once is busy before the window is loaded: it was cut off.
        prozess_.EndProgram(
            static_cast<int>(vBusy == 1 ? EndeStatus::Abgebrochen : EndeStatus::Normal));
        return;
    }
    SichereEinstellungen();
    prozess_.EndProgram(static_cast<int>(EndeStatus::Normal));
}

// The window's position, mode, voice and seconds choice, as shutdown keeps them; the session's
// commit at logout writes them too, while the clock goes on.
void Form1::SichereEinstellungen() {
    if (vLoaded == 0) {
        return; // speaking once, or start-up not done: nothing of the window to keep
    }
    GespeicherterZustand store;
    store.WinLeft = pos().x();
    store.WinTop = pos().y();
    for (const auto& [wert, option] : Modi) {
        if ((this->*option)->isChecked()) {
            store.Mode = wert;
        }
    }
    store.Voice = coVoice->currentIndex();
    store.Sekunden = chSek->isChecked() ? "1" : "0";
    // Under Wayland a program cannot learn where its window is: the stored position is kept.
    const bool lageBekannt = !QGuiApplication::platformName().startsWith("wayland");
    store.Schreibe(sRegApp, sRegSection,
                   lageBekannt && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized |
                                                     Qt::WindowFullScreen)));
}
