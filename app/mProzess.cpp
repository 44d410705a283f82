// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProzess.h"

#include <QLockFile>
#include <QSocketNotifier>

#include <cctype>
#include <cerrno>
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
// Whether a folder of the shared /tmp is ours alone: a directory of our own (not a link to
// one) that nobody else can enter. Made so when it is absent.
bool EigenerOrdner(const std::string& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return false;
        }
        ::mkdir(dir.c_str(), 0700); // another start may make it first: looked at again
        if (::lstat(dir.c_str(), &st) != 0) {
            return false;
        }
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

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
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!(runtime && *runtime) && !EigenerOrdner(pfad.substr(0, pfad.rfind('/')))) {
        return false; // a folder in /tmp that someone else made or redirected: no lock
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

std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm) {
    const char* text = nullptr;
    std::string teile;
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
    case EndeStatus::TeileFehlen:
        for (const std::string& wort : Stumm) {
            teile += teile.empty() ? " " : ", ";
            for (const char c : wort) {
                teile += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        if (teile.empty()) { // handed over: the running clock knows which
            return "tikkaru: Aufnahmen fehlen, Wortteile blieben stumm.\n";
        }
        return std::string("tikkaru: Aufnahmen fehlen, diese Wortteile blieben stumm:") + teile +
               ".\n";
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
