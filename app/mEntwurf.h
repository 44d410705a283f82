// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class QKeyEvent;
class QWidget;

// The window as designed, at the screen's twips per pixel (vTwipsX, vTwipsY): its title, icon
// and fixed size; the controls of the fixed layout, made in their order, each at its place
// with its caption; their design state (read-only boxes, default buttons, tab order, every
// minute selected, the options' marks); their fonts; and their names for screen readers.
void EntwirfFenster(Form1& form);

// The controls' fonts at the screen's scale, shrunk where a caption would not fit.
void SetzeSchriften(Form1& form);

// The keys of the design, which the window's handlers of key presses and Tab ask:
// Enter (also the keypad's) clicks the default button cOK while it is enabled, Esc the exit
// button, both without other modifiers: true when the key was taken so.
bool DefaultOderAbbruch(Form1& form, const QKeyEvent& e);

// After the focus moved by Tab from vorher: Qt makes the four options one tab stop, but enters
// it at the option that had the focus last; as on the original platform the focus goes to the
// selected one, so that Space there keeps the mode.
void FokusAufGewaehlteOption(Form1& form, const QWidget* vorher, bool next);
