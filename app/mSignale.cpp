// SPDX-License-Identifier: GPL-3.0-or-later
#include "mSignale.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
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
} // namespace

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
