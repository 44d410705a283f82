// SPDX-License-Identifier: GPL-3.0-or-later
#include "mFenster.h"

#include "Form1.h"
#include "PulsePlayer.h"
#include "mSignale.h"
#include "mUebergabeDienst.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>

namespace {

// How late the event loop runs a 10 ms timer, for measuring that the window never hesitates:
// QT_LOGGING_RULES="tikkaru.loop.debug=true" prints every tick more than 2 ms late.
Q_LOGGING_CATEGORY(lcLoop, "tikkaru.loop", QtInfoMsg)

void MissSchleife(QObject* eltern) {
    if (!lcLoop().isDebugEnabled()) {
        return;
    }
    auto* takt = new QTimer(eltern);
    auto* uhr = new QElapsedTimer;
    takt->setTimerType(Qt::PreciseTimer);
    QObject::connect(takt, &QTimer::timeout, takt, [uhr] {
        const double spaet = static_cast<double>(uhr->nsecsElapsed()) / 1e6 - 10.0;
        uhr->restart();
        if (spaet > 2.0) {
            qCDebug(lcLoop, "late %.1f", spaet);
        }
    });
    QObject::connect(takt, &QObject::destroyed, [uhr] { delete uhr; });
    uhr->start();
    takt->start(10);
}

} // namespace

extern "C" int tikkaru_fenster(FensterStart* start) {
    QApplication app(*start->argc, start->argv);
    // Ties the window to the installed desktop entry (its icon in task bars, on Wayland too).
    QGuiApplication::setDesktopFileName("de.quorvane.tikkaru");
    QApplication::setQuitOnLastWindowClosed(false);

    PulsePlayer player;
    Form1 form(*start->clock, player, std::move(start->prozess));

    // SIGTERM, SIGINT, SIGHUP and the session's end take the same way out as the exit button,
    // so the settings are kept. The session's commit at logout only writes them: another
    // program may still cancel the logout, and the clock must then still be there.
    const TerminationSignals signale([&form] { form.Form_Unload(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.SichereEinstellungen(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.Form_Unload(); });

    MissSchleife(&form);
    // Start-up ends with the window shown, which takes the requests handed over by others (it
    // holds the lock).
    form.Form_Load();
    Uebergabe uebergabe(form, &form);
    uebergabe.Anmelden();
    return app.exec();
}
