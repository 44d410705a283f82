// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QComboBox;
class QLabel;
class QWidget;

// Names a drop-down list for screen readers by a label that is not its sibling.
//
// On Linux Qt's own interface for a QComboBox gives the selected entry as the list's name and
// ignores its accessible name: the name is meant to come from the Label relation, and Qt finds
// that relation only for a QLabel with the same parent whose buddy the list is. In Form1 the
// label "Ausgewählte Stimme:" lies in a frame and the voice list on the window itself, so the
// list would be announced by its entry alone.
//
// After this call box has an interface of its own: its accessible name (or, when empty, the
// label's text without the access-key mark) as name, the selected entry as value and as its
// read-only text (AT-SPI carries no text value: a screen reader reads the text, and a new
// entry is reported as changed text), label as its Label relation, the popup list as its
// child, whose selected entry is the selected one also while it is closed, and the popup as
// its "showMenu" action; everything else as for any widget. Nothing
// changes on the screen or in the behaviour.
void SetComboBoxLabel(QComboBox* box, QLabel* label);

// Gives a top-level window of a plain QWidget class the role of a window, so that a screen
// reader announces it as a frame named by its title (Qt makes such a widget a "filler").
void SetWindowRole(QWidget* window);
