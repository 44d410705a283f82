// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProzess.h"

#include <QLockFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string SperrDatei() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? runtime : "/tmp/tikkaru-" + std::to_string(getuid());
    return dir + "/tikkaru.lock";
}

namespace {
// The lock, held until the process ends. EndeSofort removes it; a process that is killed
// leaves the file, which the next start recognises as stale by its process id.
QLockFile* sperre = nullptr;
} // namespace

bool VorherigeInstanz() {
    static bool andere = false;
    if (sperre) {
        return andere; // asked again: the same answer
    }
    const std::string pfad = SperrDatei();
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = pfad.substr(0, pfad.rfind('/'));
        ::mkdir(dir.c_str(), 0700);
    }
    sperre = new QLockFile(QString::fromStdString(pfad));
    sperre->setStaleLockTime(0);
    if (sperre->tryLock(0)) {
        return false;
    }
    andere = sperre->error() == QLockFile::LockFailedError;
    return andere;
}

namespace {
int signalPipe[2] = {-1, -1};

extern "C" void SignalHandler(int sig) {
    const char c = static_cast<char>(sig);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}
} // namespace

void BeiBeendenSignal(std::function<void()> handler) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler] {
        char buf[16];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) {
        }
        handler();
    });
    struct sigaction sa {};
    sa.sa_handler = SignalHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &sa, nullptr);
    }
}

EndeStatus StatusNach(PlayFailure failure) {
    switch (failure) {
    case PlayFailure::None:
        return EndeStatus::Normal;
    case PlayFailure::NoServer:
        return EndeStatus::KeinTondienst;
    case PlayFailure::ServerSilent:
        return EndeStatus::TondienstStumm;
    case PlayFailure::ServerLost:
        return EndeStatus::TondienstWeg;
    case PlayFailure::Undecodable:
        return EndeStatus::AufnahmeDefekt;
    }
    return EndeStatus::AufnahmeDefekt;
}

std::string EndeMeldung(EndeStatus status) {
    const char* text = nullptr;
    switch (status) {
    case EndeStatus::Normal:
        return "";
    case EndeStatus::KeinTondienst:
        text = "kein Tondienst erreichbar (PulseAudio oder PipeWire); die Zeit wurde nicht "
               "angesagt.";
        break;
    case EndeStatus::TondienstStumm:
        text = "der Tondienst antwortet nicht mehr; die Zeit wurde nicht vollständig angesagt.";
        break;
    case EndeStatus::TondienstWeg:
        text = "die Verbindung zum Tondienst ist abgebrochen; die Zeit wurde nicht vollständig "
               "angesagt.";
        break;
    case EndeStatus::AufnahmeDefekt:
        text = "eine Aufnahme ließ sich nicht abspielen; die Zeit wurde nicht vollständig "
               "angesagt.";
        break;
    case EndeStatus::AndereKopie:
        text = "eine andere Kopie läuft, antwortet aber nicht; die Zeit wurde nicht angesagt.";
        break;
    case EndeStatus::Abgebrochen:
        text = "abgebrochen; die Zeit wurde nicht vollständig angesagt.";
        break;
    case EndeStatus::Beschaeftigt:
        text = "die laufende Uhr sagt gerade die Zeit an; sie wurde nicht noch einmal angesagt.";
        break;
    }
    return std::string("tikkaru: ") + text + "\n";
}

void EndeSofort(int status) {
    if (sperre != nullptr) {
        sperre->unlock(); // only a lock of our own; spares the next start the stale check
    }
    std::fflush(nullptr);
    std::_Exit(status);
}
