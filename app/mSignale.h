// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mEndeStatus.h"

#include <QSocketNotifier>

#include <functional>
#include <memory>

// SIGTERM, SIGINT and SIGHUP run the handler on the user-interface thread, through a pipe the
// object owns, for as long as it lives. One at a time: the signal handler writes to the pipe
// of the latest.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> handler);
    ~TerminationSignals();
    Q_DISABLE_COPY_MOVE(TerminationSignals)

private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Until a TerminationSignals is made, SIGTERM, SIGINT and SIGHUP end the process at once with
// status and its line on stderr (EndeMeldung), also while it waits where no event loop runs.
void EndeBeiSignal(EndeStatus status);

// Ends the process at once, without further events.
[[noreturn]] void EndeSofort(int status = 0);

// What waiting without an event loop came to.
enum class Warten {
    Bereit, // the descriptor can be read
    Frist,  // the time ran out
    Signal, // SIGTERM, SIGINT or SIGHUP arrived
};

// For its life SIGTERM, SIGINT and SIGHUP are only noted, on whichever thread they arrive, so
// that a thread blocked in a call that no event loop can end (a bus that never answers) is
// waited for with a deadline and left at a signal. Meanwhile a TerminationSignals made before
// hears none; the previous handling comes back when this object ends.
class SignalWache {
public:
    SignalWache();
    ~SignalWache();
    Q_DISABLE_COPY_MOVE(SignalWache)
    // Waits until fd can be read, a signal arrives (also one since the previous call) or ms
    // milliseconds have passed.
    Warten WarteAuf(int fd, int ms) const;

private:
    int pipe_[2] = {-1, -1};
    int vorher_ = -1;
};
