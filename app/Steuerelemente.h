// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class Satzfeld;

// The window with its controls and what start-up fills in of it: what the window's parts (its
// design, its stored state) work on. Form1 is this window with its handlers; the parts know
// only this, so that none of them includes the window.
class Steuerelemente : public QWidget {
public:
    using QWidget::QWidget;

    // The controls, named as everywhere in the program.
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame4 = nullptr;
    Satzfeld* TZ = nullptr;
    Satzfeld* TT = nullptr;
    QCheckBox* chSek = nullptr;
    QRadioButton* opHH = nullptr;
    QRadioButton* opMM = nullptr;
    QRadioButton* opAU = nullptr;
    QRadioButton* opMA = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* coVoice = nullptr;
    QPushButton* cOK = nullptr;
    QPushButton* cExit = nullptr;

    // Window state (see start-up).
    std::string sRegApp;
    std::string sRegSection;
    double vTwipsX = 15;
    double vTwipsY = 15;
};
