// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// Where a window of the given rectangle goes on screens of the given (available) rectangles.
// A window that lies wholly on the screens, also across two of them, keeps its place. Any
// other window moves the least distance onto one screen: the one that shows most of it, or
// where none shows any, the nearest. On that screen it is placed wholly where it fits; where
// it is wider or taller, its left or top edge is at the screen's, so that its title bar stays
// in reach. Without screens the window stays where it is.
QPoint OnScreens(const QRect& window, const QList<QRect>& screens);
