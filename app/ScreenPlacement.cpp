// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScreenPlacement.h"

#include <QRegion>

#include <algorithm>
#include <limits>

namespace {

// The squared gap between two rectangles (0 when they touch or overlap).
qint64 Gap(const QRect& a, const QRect& b) {
    const qint64 dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const qint64 dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

qint64 Area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64{r.width()} * r.height();
}

// The start of a span of the given length moved into [lo, lo + room): the least move that
// puts it wholly inside, or lo where it is longer than the room.
int Into(int start, int length, int lo, int room) {
    if (length >= room) {
        return lo;
    }
    return std::clamp(start, lo, lo + room - length);
}

} // namespace

QPoint OnScreens(const QRect& window, const QList<QRect>& all) {
    QList<QRect> screens;
    QRegion covered;
    for (const QRect& s : all) {
        if (!s.isEmpty()) {
            screens.append(s);
            covered += s;
        }
    }
    if (screens.isEmpty() || covered.intersected(window) == QRegion(window)) {
        return window.topLeft();
    }
    const QRect* best = nullptr;
    qint64 bestArea = 0;
    qint64 bestGap = std::numeric_limits<qint64>::max();
    for (const QRect& s : screens) {
        const qint64 area = Area(s.intersected(window));
        const qint64 gap = Gap(s, window);
        if (area > bestArea || (bestArea == 0 && area == 0 && gap < bestGap)) {
            best = &s;
            bestArea = area;
            bestGap = gap;
        }
    }
    return {Into(window.x(), window.width(), best->x(), best->width()),
            Into(window.y(), window.height(), best->y(), best->height())};
}
