// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "Form1.h"
#include "PulsePlayer.h"
#include "QtEventPump.h"
#include "mDatenPfad.h"
#include "mGetCMD.h"
#include "mProgVer.h"
#include "mProzess.h"
#include "mStimmPruefung.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

const char* const Hilfe =
    "Aufruf: tikkaru [ANSAGE [STIMME]]\n"
    "\n"
    "Eine sprechende Uhr: zeigt die Zeit als Ziffern und als deutschen Satz und sagt sie an.\n"
    "\n"
    "  ANSAGE           ! sagt die Zeit einmal an, ohne Fenster, und endet;\n"
    "                   !! ebenso, mit den Sekunden; alles andere (z. B. -) öffnet das Fenster\n"
    "  STIMME           Nummer des Eintrags der Stimmenliste (1 bis 4, 5 für die\n"
    "                   externe Stimme im Ordner DATA des aktuellen Verzeichnisses)\n"
    "  --check-voice [ORDNER]\n"
    "                   prüft die Aufnahmen einer eigenen Stimme (Vorgabe: DATA)\n"
    "  --help           zeigt diese Hilfe\n"
    "  --version        zeigt die Version\n"
    "\n"
    "Beispiele: tikkaru '!' 3   sagt die Zeit mit Stimme 3 an.\n"
    "           tikkaru - 2     öffnet das Fenster mit Stimme 2.\n";

bool HatAnzeige() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string kommandozeile = CommandLineText(argc, argv);
    const std::string arg1 = GetCMD(kommandozeile, 1);
    if (arg1 == "--help") {
        std::fputs(Hilfe, stdout);
        return 0;
    }
    if (arg1 == "--version") {
        std::printf("tikkaru %s\n", ProgVer().c_str());
        return 0;
    }
    if (arg1 == "--check-voice") {
        std::error_code ec;
        const std::string ordner =
            argc > 2 ? argv[2] : DatenPfad(std::filesystem::current_path(ec).string());
        const StimmPruefung pruefung = PruefeStimme(ordner);
        std::fputs(StimmBericht(pruefung).c_str(), stdout);
        return pruefung.AllesSpielt() ? 0 : 1;
    }

    // Speaking once needs no window, so it needs no display: from cron, over SSH or in a text
    // console it runs on the offscreen platform.
    const bool einmal = arg1 == "!" || arg1 == "!!";
    if (einmal && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!HatAnzeige() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("tikkaru: keine grafische Anzeige gefunden (DISPLAY und WAYLAND_DISPLAY "
                   "sind leer).\nOhne Fenster: tikkaru '!'\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    // Ties the window to the installed desktop entry (its icon in task bars, on Wayland too).
    QGuiApplication::setDesktopFileName("de.quorvane.tikkaru");
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    PulsePlayer player;
    QtEventPump pump;

    Prozess prozess;
    prozess.CommandLine = kommandozeile;
    std::error_code ec;
    prozess.CurrentDir = std::filesystem::current_path(ec).string();
    prozess.PreviousInstance = [] { return VorherigeInstanz(); };
    prozess.EndProgram = [] { EndeSofort(0); };

    Form1 form(clock, player, pump, prozess);

    // Logging out, SIGTERM, SIGINT and SIGHUP take the same way out as the exit button, so
    // the settings are kept.
    BeiBeendenSignal([&form] { form.Form_Unload(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.Form_Unload(); });

    form.Form_Load();
    return app.exec();
}
