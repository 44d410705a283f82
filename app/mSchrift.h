// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QList>
#include <QString>

class QWidget;

// Registers the window's classic faces, Tahoma and MS Sans Serif, from the files of Debian's
// fonts-wine where they are (wine/fonts below a folder of $XDG_DATA_HOME or $XDG_DATA_DIRS):
// fontconfig does not list them.
void LadeSchriften();

// A control's font: family at points, normal weight. MS Sans Serif exists only as bitmaps of
// three pixel sizes; on a scaled screen (device pixel ratio other than 1) it stays at its own
// pixel size while everything around it grows, so there the scalable Tahoma takes its place.
QFont Schrift(const QString& familie, double punkte, qreal pixelVerhaeltnis);

// Gives every control of the group one font: f where every caption fits in f; otherwise the
// largest size below, in the same face or a narrower one, where they all fit. Where the
// classic faces are installed, their captions fit as they are.
void PasseAn(const QList<QWidget*>& gruppe, const QFont& f);
