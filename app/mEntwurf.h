// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// The window as designed, at the screen's twips per pixel (vTwipsX, vTwipsY): its title, icon
// and fixed size; the controls of the fixed layout, made in their order, each at its place
// with its caption; their design state (read-only boxes, default buttons, tab order, every
// minute selected, the options' marks); their fonts; and their names for screen readers.
void EntwirfFenster(Form1& form);

// The controls' fonts at the screen's scale, shrunk where a caption would not fit.
void SetzeSchriften(Form1& form);
