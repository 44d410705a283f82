// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory of the clock's window in continuous mode, with the real player on the sound
// server of the environment (PULSE_SINK picks the sink): after start-up and every fifth of
// ANNOUNCEMENTS announcements, then it ends. An announcement counts when the window is no
// longer busy after having been. Prints "rss_kb ANNOUNCEMENTS KB" lines and, at the end,
// "seconds S". Usage: memory [ANNOUNCEMENTS]; run through bench/run.

#include "Clock.h"
#include "Form1.h"
#include "PulsePlayer.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

long RssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int total = argc > 1 ? std::max(5, std::atoi(argv[1])) : 250;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));

    SystemClock clock;
    PulsePlayer player;
    Prozess prozess;
    prozess.CurrentDir = home.path().toStdString();
    prozess.EndProgram = [](int, const std::vector<std::string>&) {};
    Form1 form(clock, player, prozess);
    form.Form_Load();
    // Told apart from the windows that the other parts of bench/run look for by their title.
    form.setWindowTitle(QStringLiteral("Tikkaru-Speicher"));
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) {
        app.processEvents();
    }
    std::printf("rss_kb 0 %ld\n", RssKb());
    std::fflush(stdout);
    // Continuous mode without the seconds: the shortest announcement, one after the other.
    form.opAU->setChecked(true);
    form.chSek->setChecked(false);

    QElapsedTimer lauf;
    lauf.start();
    int fertig = 0;
    bool warBeschaeftigt = false;
    QTimer blick;
    QObject::connect(&blick, &QTimer::timeout, &app, [&] {
        const bool beschaeftigt = form.vBusy != 0;
        if (warBeschaeftigt && !beschaeftigt) {
            ++fertig;
            if (fertig % (total / 5) == 0) {
                std::printf("rss_kb %d %ld\n", fertig, RssKb());
                std::fflush(stdout);
            }
            if (fertig >= total) {
                std::printf("seconds %.1f\n", lauf.elapsed() / 1000.0);
                std::fflush(stdout);
                std::_Exit(0);
            }
        }
        warBeschaeftigt = beschaeftigt;
    });
    blick.start(10);
    return app.exec();
}
