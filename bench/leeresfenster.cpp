// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of the window's start: an empty Qt Widgets window of the clock's size, shown at
// once. bench/run times its start to the window mapped beside the clock's.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("Leeres Fenster"));
    w.setFixedSize(526, 116);
    w.show();
    return app.exec();
}
