// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEntwurf.h"

#include "ComboBoxAccessible.h"
#include "Satzfeld.h"
#include "Steuerelemente.h"
#include "mSchrift.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcutEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace {

// An access key (Alt+K) on a check box or an option changes its mark at once, as a click does:
// the toolkit only animates the press and toggles 100 ms later, so that Enter typed right after
// the access key would announce with the old choice.
class SofortigeZugriffstaste final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* knopf = qobject_cast<QAbstractButton*>(o);
        if (e->type() != QEvent::Shortcut || knopf == nullptr || !knopf->isEnabled() ||
            static_cast<QShortcutEvent*>(e)->isAmbiguous()) {
            return false;
        }
        if ((knopf->focusPolicy() & Qt::ClickFocus) != 0) {
            knopf->setFocus(Qt::ShortcutFocusReason);
        }
        knopf->click();
        return true;
    }
};

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

// The digits and the sentence change every second. Drawing their boxes' rounded, smoothed
// frames anew, and the group box beneath their corners, was most of what the shown, idle
// window cost: each box's frame is drawn once, over what its container draws there, for each
// size and state, and then copied, and the box is opaque, so that nothing beneath it is
// drawn again.
class GepufferterRahmen final : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement e, const QStyleOption* o, QPainter* p,
                       const QWidget* w) const override {
        const QWidget* unter = w != nullptr ? w->parentWidget() : nullptr;
        if (e != PE_PanelLineEdit || o == nullptr || unter == nullptr || o->rect != w->rect()) {
            QProxyStyle::drawPrimitive(e, o, p, w);
            return;
        }
        const Anlass jetzt{o->state,
                           o->palette.cacheKey(),
                           unter->palette().cacheKey(),
                           p->device() != nullptr ? p->device()->devicePixelRatio() : 1.0,
                           w->geometry(),
                           unter->size()};
        Puffer& puffer = puffer_[w];
        if (puffer.bild.isNull() || !(puffer.anlass == jetzt)) {
            puffer.anlass = jetzt;
            puffer.bild = QPixmap((QSizeF(o->rect.size()) * jetzt.dpr).toSize());
            puffer.bild.setDevicePixelRatio(jetzt.dpr);
            puffer.bild.fill(Qt::transparent);
            // What the container draws there, without its boxes, then the frame over it.
            const_cast<QWidget*>(unter)->render(&puffer.bild, QPoint(), QRegion(w->geometry()),
                                                QWidget::DrawWindowBackground);
            QPainter maler(&puffer.bild);
            QStyleOptionFrame rahmen;
            QStyleOption schlicht(*o);
            QStyleOption* kopie = &schlicht;
            if (const auto* f = qstyleoption_cast<const QStyleOptionFrame*>(o)) {
                rahmen = *f;
                kopie = &rahmen;
            }
            kopie->rect.moveTopLeft(QPoint(0, 0));
            QProxyStyle::drawPrimitive(e, kopie, &maler, w);
        }
        p->drawPixmap(o->rect.topLeft(), puffer.bild);
    }

private:
    // What a box's frame depends on: its state and colours, the container's colours, the
    // screen's scale, its place and the container's size.
    struct Anlass {
        State zustand;
        qint64 farben = 0;
        qint64 farbenUnter = 0;
        qreal dpr = 0;
        QRect ort;
        QSize groesseUnter;
        bool operator==(const Anlass&) const = default;
    };
    struct Puffer {
        Anlass anlass;
        QPixmap bild;
    };
    // One frame per box; the boxes live as long as the window that owns this style.
    mutable std::map<const QWidget*, Puffer> puffer_;
};

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
    QWidget* (*erzeuge)(Steuerelemente& form, QWidget* eltern);
    const char* name;
    QGroupBox* Steuerelemente::*rahmen; // nullptr: the window itself
    QRect twips;
    const char* text;
};

using F = Steuerelemente;

template <class T, T* Steuerelemente::*feld> QWidget* Neu(Steuerelemente& form, QWidget* eltern) {
    form.*feld = new T(eltern);
    return form.*feld;
}

// The controls in the order they are made; the timer comes before them.
const std::array<Steuerelement, 14> Layout = {{
    {Neu<QComboBox, &F::coVoice>, "coVoice", nullptr, {2520, 1230, 3765, 315}, ""},
    {Neu<QGroupBox, &F::Frame1>, "Frame1", nullptr, {60, 0, 7755, 645}, ""},
    {Neu<Satzfeld, &F::TZ>, "TZ", &F::Frame1, {120, 210, 825, 315}, "00:00:00"},
    {Neu<Satzfeld, &F::TT>, "TT", &F::Frame1, {1020, 210, 6615, 315}, ""},
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

// The controls' properties beyond place and caption.
void EntwurfsZustand(Steuerelemente& form) {
    form.coVoice->setEditable(false);
    form.TZ->setAlignment(Qt::AlignCenter);
    form.TT->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The spoken word stays highlighted also while another control has the focus.
    QPalette p = form.TT->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    form.TT->setPalette(p);
    auto* rahmen = new GepufferterRahmen;
    rahmen->setParent(&form);
    for (Satzfeld* box : {form.TZ, form.TT}) {
        box->setStyle(rahmen);
        box->setAttribute(Qt::WA_OpaquePaintEvent);
    }
    form.cOK->setDefault(true);
    // Enter on the focused exit button ends, as it does on any focused button.
    form.cExit->setAutoDefault(true);
    // The sentence first, the digits last; frames and label take no focus.
    const std::array<QWidget*, 10> reihe = {form.TT,    form.opMA,  form.opAU,    form.opMM,
                                            form.opHH,  form.chSek, form.coVoice, form.cOK,
                                            form.cExit, form.TZ};
    for (std::size_t i = 1; i < reihe.size(); ++i) {
        QWidget::setTabOrder(reihe[i - 1], reihe[i]);
    }
    for (QWidget* w : std::array<QWidget*, 4>{form.Frame1, form.Frame2, form.Frame4, form.Label1}) {
        w->setFocusPolicy(Qt::NoFocus);
    }

    // The window owns the style of the marks; the controls only use it.
    auto* marken = new EngeMarken;
    marken->setParent(&form);
    auto* zugriff = new SofortigeZugriffstaste(&form);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             form.chSek, form.opHH, form.opMM, form.opAU, form.opMA}) {
        b->setStyle(marken);
        b->installEventFilter(zugriff);
    }
}

// German names and descriptions for screen readers; changes nothing on the screen.
void ZugaenglicheNamen(Steuerelemente& form) {
    const auto benenne = [](QWidget* w, const char* name, const char* beschreibung) {
        w->setAccessibleName(QString::fromUtf8(name));
        w->setAccessibleDescription(QString::fromUtf8(beschreibung));
    };
    benenne(form.Frame1, "Uhrzeit", "Die Uhrzeit in Ziffern und als Satz");
    benenne(form.TZ, "Uhrzeit in Ziffern", "Stunden, Minuten und Sekunden");
    benenne(form.TT, "Uhrzeit als Satz",
            "Während der Ansage ist der gerade gesprochene Wortteil markiert");
    benenne(form.Frame2, "Ansage", "Wann und mit welcher Stimme die Zeit angesagt wird");
    benenne(form.opMA, "Manuell", "Ansage nur auf Knopfdruck");
    benenne(form.opAU, "Fortlaufend", "Eine Ansage nach der anderen");
    benenne(form.opMM, "jede Minute", "Ansage zu jeder vollen Minute");
    benenne(form.opHH, "jede Stunde", "Ansage zu jeder vollen Stunde");
    benenne(form.chSek, "Sekunden ansagen", "Die Sekunden werden mit angesagt");
    benenne(form.Label1, "Ausgewählte Stimme:", "");
    benenne(form.coVoice, "Ausgewählte Stimme", "Die Stimme, die die Zeit ansagt");
    form.Label1->setBuddy(form.coVoice);
    SetComboBoxLabel(form.coVoice, form.Label1);
    benenne(form.Frame4, "Befehle", "");
    benenne(form.cOK, "Tikkaru – Zeit ansagen", "Sagt die Uhrzeit jetzt an (Eingabetaste)");
    benenne(form.cExit, "Beenden", "Beendet das Programm und speichert die Einstellungen (Esc)");
    SetWindowRole(&form);
}

} // namespace

void SetzeSymbol(QWidget& form) {
    form.setWindowIcon(ProgrammSymbol());
}

void SetzeSchriften(Steuerelemente& form) {
    const qreal skala = form.devicePixelRatioF();
    form.setFont(Schrift("Tahoma", 8.25, skala));
    const QFont klassisch = Schrift("MS Sans Serif", 8.25, skala);
    for (QWidget* w : {form.Frame1, form.Frame2, form.Frame4}) {
        w->setFont(klassisch);
    }
    // Each group shares one font, so that controls alike look alike; the fonts of the layout
    // fit as they are where the classic faces are installed.
    // The boxes' texts change every second: Latin text needs no shaping beyond the font's
    // advances, and shaping the sentence was most of what a tick's refresh cost.
    QFont kasten = klassisch;
    kasten.setStyleStrategy(QFont::PreferNoShaping);
    PasseAn({form.TZ, form.TT}, kasten);
    PasseAn({form.Label1}, klassisch);
    PasseAn({form.chSek, form.opHH, form.opMM, form.opAU, form.opMA, form.cOK, form.cExit},
            Schrift("Tahoma", 6.75, skala));
}

void EntwirfFenster(Steuerelemente& form) {
    form.setWindowTitle("Quorvane Tikkaru");
    form.setFixedSize(Pixel(7890, form.vTwipsX), Pixel(1740, form.vTwipsY));
    for (const Steuerelement& e : Layout) {
        QWidget* w = e.erzeuge(form, e.rahmen ? static_cast<QWidget*>(form.*e.rahmen) : &form);
        w->setObjectName(e.name);
        w->setGeometry(Pixel(e.twips.x(), form.vTwipsX), Pixel(e.twips.y(), form.vTwipsY),
                       Pixel(e.twips.width(), form.vTwipsX), Pixel(e.twips.height(), form.vTwipsY));
        if (*e.text != 0) {
            w->setProperty("text", QString::fromUtf8(e.text));
        }
    }
    EntwurfsZustand(form);
    SetzeSchriften(form);
    // The voice list belongs to the window but is drawn in front of the frame.
    form.coVoice->raise();
    form.opMM->setChecked(true);
    ZugaenglicheNamen(form);
}

bool DefaultOderAbbruch(Steuerelemente& form, const QKeyEvent& e) {
    // The keypad's Enter carries the keypad modifier and announces as Return does.
    const bool enter = (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) &&
                       form.cOK->isEnabled() &&
                       (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const bool abbruch = e.key() == Qt::Key_Escape && e.modifiers() == Qt::NoModifier;
    QPushButton* knopf = enter ? form.cOK : abbruch ? form.cExit : nullptr;
    if (knopf != nullptr) {
        knopf->click();
    }
    return knopf != nullptr;
}

void FokusAufGewaehlteOption(Steuerelemente& form, const QWidget* vorher, bool next) {
    const std::array<QRadioButton*, 4> optionen = {form.opMA, form.opAU, form.opMM, form.opHH};
    const auto option = [&optionen](const QWidget* w) {
        return std::find(optionen.begin(), optionen.end(), w) != optionen.end();
    };
    if (option(vorher) || !option(form.focusWidget())) {
        return;
    }
    for (QRadioButton* o : optionen) {
        if (o->isChecked()) {
            o->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        }
    }
}
