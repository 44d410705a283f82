// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Steuerelemente;
class QKeyEvent;
class QWidget;

// The window as designed, at its twips per pixel: title, fixed size; the controls of the
// fixed layout in their order, at their places, with their captions, design state (read-only
// boxes, default buttons, tab order, every minute, the options' marks), fonts and names for
// screen readers.
void EntwirfFenster(Steuerelemente& form);

// The application icon in the sizes task bars and title bars use. Set once the window has
// drawn its first picture: decoding its images would only delay that picture.
void SetzeSymbol(QWidget& form);

// The controls' fonts at the screen's scale, shrunk where a caption would not fit.
void SetzeSchriften(Steuerelemente& form);

// The design's default and cancel buttons: Enter (also the keypad's) clicks cOK while it is
// enabled, Esc clicks cExit, both without other modifiers. True when the key was taken so.
bool DefaultOderAbbruch(Steuerelemente& form, const QKeyEvent& e);

// After the focus moved by Tab from vorher: Qt makes the four options one tab stop, but enters
// it at the option that had the focus last; as on the original platform the focus goes to the
// selected one, so that Space there keeps the mode.
void FokusAufGewaehlteOption(Steuerelemente& form, const QWidget* vorher, bool next);
