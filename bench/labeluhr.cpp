// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of the idle window: a minimal Qt clock, one label set to the time every second.
// bench/run counts its processor time beside the clock's in manual mode.

#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label;
    label.setWindowTitle(QStringLiteral("Label-Uhr"));
    label.setFixedSize(526, 116);
    const auto zeige = [&label] {
        label.setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    };
    zeige();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &label, zeige);
    timer.start(1000);
    label.show();
    return app.exec();
}
