// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProzess.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Whether a folder is ours alone: a directory of our own (not a link to one) that nobody else
// can enter.
bool Eigen(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

// Whether a folder of the shared /tmp is ours alone; made so when it is absent (another start
// may make it first: it is looked at again).
bool EigenerOrdner(const std::string& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        ::mkdir(dir.c_str(), 0700);
    }
    return Eigen(dir);
}

// The write end of the pipe of the living TerminationSignals, for the signal handler, which
// can reach nothing else; -1 while there is none.
volatile std::sig_atomic_t signalSchreibEnde = -1;

// Where no pipe listens: the status the process ends with at a signal (-1: none), and its line.
volatile std::sig_atomic_t signalStatus = -1;
std::array<char, 256> signalZeile{};
std::size_t signalZeilenLaenge = 0;

extern "C" void SignalHandler(int sig) {
    if (signalSchreibEnde < 0 && signalStatus >= 0) {
        [[maybe_unused]] const auto n =
            ::write(STDERR_FILENO, signalZeile.data(), signalZeilenLaenge);
        ::_exit(signalStatus);
    }
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
// The lock file's contents, for people and older copies that read them: the process id, the
// program and the host, one a line.
void SchreibeHalter(int fd) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string text = std::to_string(::getpid()) + "\ntikkaru\n" + host + "\n";
    // Written over the last holder's words, and cut only where those were longer: truncating
    // first frees the file's block, which on a journalling file system costs more than
    // everything else a start does before its first sound. A text not written whole leaves
    // no words.
    const auto n = ::pwrite(fd, text.data(), text.size(), 0);
    struct stat st {};
    if (n != static_cast<ssize_t>(text.size())) {
        [[maybe_unused]] const int leer = ::ftruncate(fd, 0);
    } else if (::fstat(fd, &st) == 0 && st.st_size > n) {
        [[maybe_unused]] const int gekuerzt = ::ftruncate(fd, n);
    }
}

// The process id the holder wrote, 0 when there is none (yet).
qint64 GeschriebenerHalter(int fd) {
    char buf[32] = {};
    const auto n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0 || std::memchr(buf, '\n', static_cast<std::size_t>(n)) == nullptr) {
        return 0;
    }
    char* ende = nullptr;
    const long long pid = std::strtoll(buf, &ende, 10);
    return ende != buf && *ende == '\n' && pid > 0 ? pid : 0;
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

std::string LaufzeitOrdner() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != 0) {
        return runtime;
    }
    const std::string dir = "/run/user/" + std::to_string(::getuid());
    return Eigen(dir) ? dir : std::string();
}

SingleInstance::~SingleInstance() {
    Release();
}

bool SingleInstance::OtherRunning() {
    if (geprueft_) {
        return other_;
    }
    geprueft_ = true;
    const std::string runtime = LaufzeitOrdner();
    const bool inTmp = runtime.empty();
    const std::string dir = inTmp ? "/tmp/tikkaru-" + std::to_string(getuid()) : runtime;
    if (inTmp && !EigenerOrdner(dir)) {
        return false; // a folder in /tmp that someone else made or redirected: no lock
    }
    const std::string pfad = dir + "/tikkaru.lock";
    const int fd = ::open(pfad.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    // A holder that ends between our try and our question frees the lock: try again.
    for (int versuch = 0; versuch < 3 && !other_; ++versuch) {
        struct flock sperre {};
        sperre.l_type = F_WRLCK;
        sperre.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &sperre) == 0) {
            fd_ = fd;
            SchreibeHalter(fd_);
            return false;
        }
        if (errno != EAGAIN && errno != EACCES) {
            break; // a file system without record locks: no lock
        }
        if (::fcntl(fd, F_GETLK, &sperre) == 0 && sperre.l_type != F_UNLCK) {
            other_ = true;
            // 0 where the holder lives in another process namespace: its own word then.
            halter_ = sperre.l_pid > 0 ? sperre.l_pid : GeschriebenerHalter(fd);
        }
    }
    ::close(fd);
    return other_;
}

qint64 SingleInstance::Halter() const {
    return other_ ? halter_ : 0;
}

bool SingleInstance::HalterSprichtEinmal() const {
    const qint64 pid = Halter();
    return pid > 0 && SprichtEinmal(pid);
}

bool SprichtEinmal(qint64 pid) {
    std::ifstream datei("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(datei), {}};
    // The arguments, each ended by a NUL.
    std::vector<const char*> argv;
    for (std::size_t i = 0; i < text.size(); ++i) {
        argv.push_back(text.c_str() + i);
        i = text.find('\0', i);
        if (i == std::string::npos) {
            break;
        }
    }
    return LiesAufruf(CommandLineText(static_cast<int>(argv.size()), argv.data())).Einmal;
}

void SingleInstance::Release() {
    if (fd_ >= 0) {
        ::close(fd_); // frees the lock; the file stays, so that no start ever finds two
        fd_ = -1;
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

SignalWache::SignalWache() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    vorher_ = signalSchreibEnde;
    signalSchreibEnde = pipe_[1];
    Behandle(SignalHandler);
}

SignalWache::~SignalWache() {
    if (pipe_[0] < 0) {
        return;
    }
    signalSchreibEnde = vorher_;
    if (vorher_ < 0 && signalStatus < 0) {
        Behandle(SIG_DFL);
    }
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

Warten SignalWache::WarteAuf(int fd, int ms) const {
    using Uhr = std::chrono::steady_clock;
    const auto ende = Uhr::now() + std::chrono::milliseconds(ms);
    // A negative descriptor (no pipe could be made) is left out by poll.
    std::array<pollfd, 2> p = {pollfd{pipe_[0], POLLIN, 0}, pollfd{fd, POLLIN, 0}};
    for (;;) {
        const auto rest =
            std::chrono::duration_cast<std::chrono::milliseconds>(ende - Uhr::now()).count();
        const int n = ::poll(p.data(), p.size(), static_cast<int>(std::max<long long>(rest, 0)));
        if (n < 0 && errno != EINTR) {
            return Warten::Frist;
        }
        if (n > 0 && p[0].revents != 0) {
            return Warten::Signal;
        }
        if (n > 0 && p[1].revents != 0) {
            return Warten::Bereit;
        }
        if (Uhr::now() >= ende) {
            return Warten::Frist;
        }
    }
}

bool FensterStatus(int status) {
    const auto s = static_cast<EndeStatus>(status);
    return s == EndeStatus::Normal ||
           (s >= EndeStatus::KeinTondienst && s <= EndeStatus::Beschaeftigt &&
            s != EndeStatus::AndereKopie);
}

EndeStatus StatusVon(const Ergebnis& ergebnis) {
    // In the order of PlayFailure.
    static_assert(static_cast<int>(PlayFailure::Undecodable) == 4);
    constexpr std::array<EndeStatus, 5> Status = {
        EndeStatus::Normal, EndeStatus::KeinTondienst, EndeStatus::TondienstStumm,
        EndeStatus::TondienstWeg, EndeStatus::AufnahmeDefekt};
    if (ergebnis.verfallen) {
        return EndeStatus::Abgebrochen;
    }
    const auto i = static_cast<std::size_t>(ergebnis.fehler);
    const EndeStatus status = i < Status.size() ? Status[i] : EndeStatus::AufnahmeDefekt;
    return status == EndeStatus::Normal && !ergebnis.stumm.empty() ? EndeStatus::TeileFehlen
                                                                   : status;
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

void EndeBeiSignal(EndeStatus status) {
    const std::string zeile = EndeMeldung(status);
    signalZeilenLaenge = std::min(zeile.size(), signalZeile.size());
    std::copy_n(zeile.begin(), signalZeilenLaenge, signalZeile.begin());
    signalStatus = static_cast<int>(status);
    if (signalSchreibEnde < 0) {
        Behandle(SignalHandler);
    }
}

void EndeSofort(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}
