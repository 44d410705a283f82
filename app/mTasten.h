// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class QKeyEvent;
class QWidget;

// Enter (also the keypad's) clicks the default button cOK while it is enabled, Esc the exit
// button, both without other modifiers: true when the key was taken so.
bool DefaultOderAbbruch(Form1& form, const QKeyEvent& e);

// After the focus moved by Tab from vorher: Qt makes the four options one tab stop, but enters
// it at the option that had the focus last; as on the original platform the focus goes to the
// selected one, so that Space there keeps the mode.
void FokusAufGewaehlteOption(Form1& form, const QWidget* vorher, bool next);
