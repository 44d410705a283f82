// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProzess.h"

#include "mKatalog.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
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
// Handed over, no piece is named: the running clock knows which.
std::string StummeTeile(const std::vector<std::string>& stumm) {
    std::string text = stumm.empty() ? "Aufnahmen fehlen, Wortteile blieben stumm."
                                     : "Aufnahmen fehlen, diese Wortteile blieben stumm:";
    for (const std::string& wort : stumm) {
        text += &wort == &stumm.front() ? " " : ", ";
        for (const char c : wort) {
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return text + (stumm.empty() ? "" : ".");
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

int GefragteStimme(double arg2) {
    const double v = arg2 > 0 ? std::nearbyint(arg2) : 0;
    return v > EingebauteStimmen + 1 ? 1 : static_cast<int>(v);
}

EndeStatus StatusNach(PlayFailure failure) {
    // In the order of PlayFailure.
    static_assert(static_cast<int>(PlayFailure::Undecodable) == 4);
    constexpr std::array<EndeStatus, 5> Status = {
        EndeStatus::Normal, EndeStatus::KeinTondienst, EndeStatus::TondienstStumm,
        EndeStatus::TondienstWeg, EndeStatus::AufnahmeDefekt};
    const auto i = static_cast<std::size_t>(failure);
    return i < Status.size() ? Status[i] : EndeStatus::AufnahmeDefekt;
}

std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm) {
    const auto zeile = [](const std::string& text) { return "tikkaru: " + text + "\n"; };
    const std::string nicht = "; die Zeit wurde nicht angesagt.";
    const std::string nichtGanz = "; die Zeit wurde nicht vollständig angesagt.";
    switch (status) {
    case EndeStatus::Normal:
        return "";
    case EndeStatus::KeinTondienst:
        return zeile("kein Tondienst erreichbar (PulseAudio oder PipeWire)" + nicht);
    case EndeStatus::TondienstStumm:
        return zeile("der Tondienst antwortet nicht mehr" + nichtGanz);
    case EndeStatus::TondienstWeg:
        return zeile("die Verbindung zum Tondienst ist abgebrochen" + nichtGanz);
    case EndeStatus::AufnahmeDefekt:
        return zeile("eine Aufnahme ließ sich nicht abspielen" + nichtGanz);
    case EndeStatus::AndereKopie:
        return zeile("eine andere Kopie läuft, antwortet aber nicht" + nicht);
    case EndeStatus::Abgebrochen:
        return zeile("abgebrochen" + nichtGanz);
    case EndeStatus::Beschaeftigt:
        return zeile("die laufende Uhr sagt gerade die Zeit an; sie wurde nicht noch einmal "
                     "angesagt.");
    case EndeStatus::TeileFehlen:
        return zeile(StummeTeile(Stumm));
    }
    return "";
}

void EndeSofort(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}
