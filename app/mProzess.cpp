// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProzess.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The write end of the pipe of the living TerminationSignals, for the signal handler, which
// can reach nothing else; -1 while there is none.
volatile std::sig_atomic_t signalSchreibEnde = -1;

extern "C" void SignalHandler(int sig) {
    const char c = static_cast<char>(sig);
    [[maybe_unused]] const auto n = ::write(signalSchreibEnde, &c, 1);
}

constexpr std::array<int, 3> BeendenSignale = {SIGTERM, SIGINT, SIGHUP};

void Behandle(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : BeendenSignale) {
        sigaction(sig, &sa, nullptr);
    }
}
} // namespace

bool SingleInstance::OtherRunning() {
    if (lock_) {
        return other_;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool inTmp = !(runtime && *runtime);
    const std::string dir = inTmp ? "/tmp/tikkaru-" + std::to_string(getuid()) : runtime;
    if (inTmp && !EigenerOrdner(dir)) {
        return false; // a folder in /tmp that someone else made or redirected: no lock
    }
    lock_ = std::make_unique<QLockFile>(QString::fromStdString(dir + "/tikkaru.lock"));
    lock_->setStaleLockTime(0);
    other_ = !lock_->tryLock(0) && lock_->error() == QLockFile::LockFailedError;
    return other_;
}

void SingleInstance::Release() {
    if (lock_) {
        lock_->unlock(); // only a lock of our own
    }
}

TerminationSignals::TerminationSignals(std::function<void()> handler) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this, handler = std::move(handler)] {
                         char buf[16];
                         while (::read(pipe_[0], buf, sizeof buf) > 0) {
                         }
                         handler();
                     });
    signalSchreibEnde = pipe_[1];
    Behandle(SignalHandler);
}

TerminationSignals::~TerminationSignals() {
    if (pipe_[0] < 0) {
        return;
    }
    Behandle(SIG_DFL);
    signalSchreibEnde = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
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
    const std::string nicht = "; die Zeit wurde nicht angesagt.";
    const std::string nichtGanz = "; die Zeit wurde nicht vollständig angesagt.";
    std::string text;
    switch (status) {
    case EndeStatus::Normal:
        return "";
    case EndeStatus::KeinTondienst:
        text = "kein Tondienst erreichbar (PulseAudio oder PipeWire)" + nicht;
        break;
    case EndeStatus::TondienstStumm:
        text = "der Tondienst antwortet nicht mehr" + nichtGanz;
        break;
    case EndeStatus::TondienstWeg:
        text = "die Verbindung zum Tondienst ist abgebrochen" + nichtGanz;
        break;
    case EndeStatus::AufnahmeDefekt:
        text = "eine Aufnahme ließ sich nicht abspielen" + nichtGanz;
        break;
    case EndeStatus::AndereKopie:
        text = "eine andere Kopie läuft, antwortet aber nicht" + nicht;
        break;
    case EndeStatus::Abgebrochen:
        text = "abgebrochen" + nichtGanz;
        break;
    case EndeStatus::TeileFehlen:
        // Handed over, no piece is named: the running clock knows which.
        text = Stumm.empty() ? "Aufnahmen fehlen, Wortteile blieben stumm."
                             : "Aufnahmen fehlen, diese Wortteile blieben stumm:";
        for (const std::string& wort : Stumm) {
            text += &wort == &Stumm.front() ? " " : ", ";
            for (const char c : wort) {
                text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        text += Stumm.empty() ? "" : ".";
        break;
    case EndeStatus::Beschaeftigt:
        text = "die laufende Uhr sagt gerade die Zeit an; sie wurde nicht noch einmal angesagt.";
        break;
    }
    return "tikkaru: " + text + "\n";
}

void EndeSofort(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}
