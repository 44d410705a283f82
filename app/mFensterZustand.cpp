// SPDX-License-Identifier: GPL-3.0-or-later
#include "mFensterZustand.h"

#include "ScreenPlacement.h"
#include "Steuerelemente.h"
#include "mEinstellungen.h"
#include "mKatalog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The stored value of Mode and the option it selects, for start-up and shutdown alike.
constexpr std::array<std::pair<const char*, QRadioButton * Steuerelemente::*>, 4> Modi = {{
    {"1", &Steuerelemente::opMA},
    {"2", &Steuerelemente::opAU},
    {"3", &Steuerelemente::opMM},
    {"4", &Steuerelemente::opHH},
}};

} // namespace

void Platziere(Steuerelemente& form, const GespeicherterZustand& store) {
    const QPoint gespeichert(std::max(store.WinLeft, 0), std::max(store.WinTop, 0));
    QList<QRect> schirme;
    for (const QScreen* schirm : QGuiApplication::screens()) {
        schirme.append(schirm->availableGeometry());
    }
    form.move(OnScreens(QRect(gespeichert, form.frameGeometry().size()), schirme));
}

void WaehleStimme(Steuerelemente& form, const GespeicherterZustand& store, double arg2) {
    form.coVoice->setCurrentIndex(StimmWahl(store.Voice, arg2, form.coVoice->count()));
}

void WendeEinstellungenAn(Steuerelemente& form, const GespeicherterZustand& store) {
    for (const auto& [wert, option] : Modi) {
        if (store.Mode == wert) {
            (form.*option)->setChecked(true);
        }
    }
    if (store.Sekunden == "1") {
        form.chSek->setChecked(true);
    }
}

void SichereZustand(const Steuerelemente& form) {
    GespeicherterZustand store;
    store.WinLeft = form.pos().x();
    store.WinTop = form.pos().y();
    for (const auto& [wert, option] : Modi) {
        if ((form.*option)->isChecked()) {
            store.Mode = wert;
        }
    }
    store.Voice = form.coVoice->currentIndex();
    store.Sekunden = std::string(1, form.chSek->isChecked() ? '1' : '0');
    // Under Wayland a program cannot learn where its window is: the stored position is kept.
    const bool lageBekannt = !QGuiApplication::platformName().startsWith("wayland");
    store.Schreibe(form.sRegApp, form.sRegSection,
                   lageBekannt &&
                       !(form.windowState() &
                         (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)));
}
