// SPDX-License-Identifier: GPL-3.0-or-later
#include "mTasten.h"

#include "Form1.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <array>

bool DefaultOderAbbruch(Form1& form, const QKeyEvent& e) {
    switch (e.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The keypad's Enter carries the keypad modifier and announces as Return does.
        if (form.cOK->isEnabled() && (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            form.cOK->click();
            return true;
        }
        return false;
    case Qt::Key_Escape:
        if (e.modifiers() == Qt::NoModifier) {
            form.cExit->click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void FokusAufGewaehlteOption(Form1& form, const QWidget* vorher, bool next) {
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
