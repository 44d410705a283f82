// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "PulsePlayer.h"
#include "mDatenPfad.h"
#include "mEinmal.h"
#include "mEinzeln.h"
#include "mFenster.h"
#include "mGetCMD.h"
#include "mProgVer.h"
#include "mProzess.h"
#include "mSignale.h"
#include "mStimmBericht.h"
#include "mUebergabe.h"

#include <QCoreApplication>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <dlfcn.h>
#include <langinfo.h>

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
    "  -h, --help       zeigt diese Hilfe\n"
    "  -V, --version    zeigt die Version\n"
    "\n"
    "Beispiele: tikkaru '!' 3   sagt die Zeit mit Stimme 3 an.\n"
    "           tikkaru - 2     öffnet das Fenster mit Stimme 2.\n"
    "\n"
    "Rückgabewert von ! und !!: 0 die Zeit wurde ganz angesagt; 3 kein Tondienst erreichbar;\n"
    "4 der Tondienst antwortet nicht mehr; 5 die Verbindung brach ab; 6 eine Aufnahme ließ\n"
    "sich nicht abspielen; 7 eine andere Kopie läuft und antwortet nicht; 8 durch ein Signal\n"
    "abgebrochen, oder die laufende Uhr endete oder hing mitten im Satz; 9 Aufnahmen fehlten,\n"
    "Wortteile blieben stumm; 10 die laufende Uhr sagte gerade die Zeit an. Läuft die Uhr\n"
    "schon, sagt sie die Zeit an, und ihr Ergebnis ist der Rückgabewert.\n";

// Writes text to standard output. A text that cannot be written (a full disk, a closed
// descriptor) is a failure the caller must report: true when all of it was written.
bool Ausgabe(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) {
        return true;
    }
    std::fputs("tikkaru: Die Ausgabe ließ sich nicht schreiben.\n", stderr);
    return false;
}

// Speaking once needs no window, so no display: from cron, over SSH or in a text console it
// runs on the minimal platform, which draws nothing and loads no fonts (costlier than the
// sound server's connection). So does a second start, which ends at once, and so never waits
// for the session bus that the toolkit's screen-reader bridge asks at a window's start. False,
// with the reason on stderr, for a window without display.
bool WaehlePlattform(bool ohneFenster) {
    // The window keeps the default: a broken connection to its display ends it as before.
    if (!ohneFenster) {
        std::signal(SIGPIPE, SIG_DFL);
    }
    if (ohneFenster && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "minimal");
    } else if (qEnvironmentVariableIsEmpty("DISPLAY") &&
               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
               qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("tikkaru: keine grafische Anzeige gefunden (DISPLAY und WAYLAND_DISPLAY "
                   "sind leer).\nOhne Fenster: tikkaru '!'\n",
                   stderr);
        return false;
    }
    return true;
}

// Started without XDG_RUNTIME_DIR (cron, a shell without the session's environment), every
// part of the program uses the session's runtime folder where there is one: the lock, the bus,
// the sound server and the toolkit find the same things as from the desktop. Where there is
// none, the toolkit's note about it stays off stderr, which cron would mail.
void SetzeLaufzeitOrdner() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        return;
    }
    if (const std::string runtime = LaufzeitOrdner(); !runtime.empty()) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
        return;
    }
    static const QtMessageHandler vorher = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) {
                vorher(type, context, text);
            }
        });
}

// The sound server's library reads the locale on the player's threads, so the player starts
// once it is set. The application sets it from the environment as it is made; set the same way
// before, where it is UTF-8 (the toolkit's own choice then too), so that the application's
// setting changes nothing and the player can start first. False where the application may
// choose another locale: the player then starts after it.
bool StelleSpracheEin() {
    if (std::setlocale(LC_ALL, "") == nullptr) {
        return false;
    }
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr &&
           (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// The process as the window sees it: the lock, the hand-over to a running copy, and the end,
// which names the pieces that stayed silent.
Prozess EchterProzess(const Aufruf& aufruf, SingleInstance& instanz) {
    Prozess prozess;
    prozess.Argumente = aufruf;
    std::error_code ec;
    prozess.CurrentDir = std::filesystem::current_path(ec).string();
    prozess.PreviousInstance = [&instanz] { return instanz.OtherRunning(); };
    prozess.HandOver = [&instanz](bool sekunden, int stimme, std::vector<std::string>& stumm) {
        // A copy that speaks once holds the lock but takes no requests: the clock is speaking.
        if (instanz.HalterSprichtEinmal()) {
            return static_cast<int>(EndeStatus::Beschaeftigt);
        }
        return UebergibAnsage(sekunden, stimme, instanz.Halter(), stumm);
    };
    prozess.BringToFront = [] { ZeigeLaufendeUhr(); };
    prozess.EndProgram = [&instanz](int status, const std::vector<std::string>& stumm) {
        std::fputs(EndeMeldung(static_cast<EndeStatus>(status), stumm).c_str(), stderr);
        instanz.Release();
        EndeSofort(status);
    };
    return prozess;
}

// The window lives in a library of its own, loaded only to show it: speaking once loads no GUI
// library. It lies where the installation puts it relative to the executable, in the build
// tree as installed. Its start returns the exit status; 1, with the reason on stderr, when it
// cannot be loaded.
int StarteFenster(FensterStart& start) {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string pfad = (exe.parent_path() / TIKKARU_FENSTER_PFAD).lexically_normal().string();
    void* bibliothek = dlopen(pfad.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Start = int (*)(FensterStart*);
    Start fenster = nullptr;
    if (bibliothek != nullptr) {
        fenster = reinterpret_cast<Start>(dlsym(bibliothek, "tikkaru_fenster"));
    }
    if (fenster == nullptr) {
        const char* grund = dlerror();
        std::fprintf(stderr, "tikkaru: Das Fenster ließ sich nicht laden: %s\n",
                     grund != nullptr ? grund : pfad.c_str());
        return 1;
    }
    // Left loaded: its objects are gone with the window, its code stays until the process ends.
    return fenster(&start);
}

} // namespace

int main(int argc, char* argv[]) {
    // Output into a pipe nobody reads anymore (stdout of --version, the one-shot's line on
    // stderr) fails like any other write and must not kill the process: its status tells.
    std::signal(SIGPIPE, SIG_IGN);
    SetzeLaufzeitOrdner();
    // The environment is read before any thread runs, and never written after.
    BusAdresse();
    const Aufruf aufruf = LiesAufruf(CommandLineText(argc, argv));
    const std::string& arg1 = aufruf.Arg1;
    if (arg1 == "--help" || arg1 == "-h") {
        return Ausgabe(Hilfe) ? 0 : 1;
    }
    if (arg1 == "--version" || arg1 == "-V") {
        return Ausgabe("tikkaru " + ProgVer() + "\n") ? 0 : 1;
    }
    if (arg1 == "--check-voice") {
        std::error_code ec;
        const std::string ordner =
            argc > 2 ? argv[2] : DatenPfad(std::filesystem::current_path(ec).string());
        const StimmPruefung pruefung = PruefeStimme(ordner);
        if (!Ausgabe(StimmBericht(pruefung))) {
            return 1;
        }
        return pruefung.AllesSpielt() ? 0 : 1;
    }

    // Until the window's own handling of SIGTERM, SIGINT and SIGHUP is in place, start-up may
    // wait where no event loop runs (the toolkit's screen-reader bridge asks the session bus):
    // a signal then ends the process at once, as it would end the window or speaking once.
    EndeBeiSignal(aufruf.Einmal ? EndeStatus::Abgebrochen : EndeStatus::Normal);

    SingleInstance instanz;
    SystemClock clock;

    // Speaking once makes no window, so it needs neither a display nor the toolkit's GUI: it
    // runs from cron, over SSH or in a text console, and its first sound comes sooner. It
    // hands its request to a running clock instead where there is one; else the player
    // connects while the application is made and the request is read. A request handed over
    // plays nothing here, so it leaves the sound server to the clock that speaks it.
    if (aufruf.Einmal) {
        const bool verbinden = !instanz.OtherRunning();
        std::unique_ptr<PulsePlayer> player;
        const auto machePlayer = [&player, verbinden] {
            player = std::make_unique<PulsePlayer>();
            if (verbinden) {
                player->ConnectAhead();
            }
        };
        if (StelleSpracheEin()) {
            machePlayer();
        }
        QCoreApplication app(argc, argv);
        if (!player) {
            machePlayer();
        }
        int status = 0;
        {
            EinmalAnsage einmal(clock, *player, EchterProzess(aufruf, instanz));
            const TerminationSignals signale([&einmal] { einmal.Abbrechen(); });
            einmal.Starte();
            status = app.exec();
        }
        // Its reports go to the application's event loop: the player goes first.
        player.reset();
        return status;
    }

    // A second start shows no window either: it brings the running clock's window to the
    // front, and ends. The window connects to the sound server at its first sound.
    if (!WaehlePlattform(instanz.OtherRunning())) {
        return 1;
    }
    if (!instanz.OtherRunning()) {
        VerbergeStummenBus();
    }
    FensterStart start{&argc, argv, &clock, EchterProzess(aufruf, instanz)};
    return StarteFenster(start);
}
