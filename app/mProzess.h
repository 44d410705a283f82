// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"
#include "mGetCMD.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Exit statuses. Speaking once ("!" or "!!") ends with 0 only when every piece of the sentence
// reached the sound server and was played to its end; otherwise the status says why.
enum class EndeStatus : int {
    Normal = 0,
    KeinTondienst = 3,  // no sound server, or it refused the connection
    TondienstStumm = 4, // the sound server stopped answering
    TondienstWeg = 5,   // the connection to the sound server broke off
    AufnahmeDefekt = 6, // a recording could not be played
    AndereKopie = 7,    // another copy is running; nothing was said
    Abgebrochen = 8,    // ended by a signal or logout before the sentence was finished
    TeileFehlen = 9,    // pieces of the sentence had no recording and stayed silent
    Beschaeftigt = 10,  // handed over to the running clock, which was already speaking
};

// The voice number a second copy's command line (the numeric value of its second argument)
// asks of the running clock: 0 for none (its selected voice), the first entry for one beyond
// any list, as at start-up.
int GefragteStimme(double arg2);

// The status for speaking once after the player's first failure.
EndeStatus StatusNach(PlayFailure failure);

// The one German line for stderr that tells why speaking once failed ("" for Normal); for
// TeileFehlen it names the silent pieces.
std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm = {});

// Single instance: the per-user lock in the runtime directory, held for the life of the
// object. A lock left by a killed copy is taken over; where no lock can be made at all (no
// writable runtime directory) the clock runs. Without XDG_RUNTIME_DIR the lock lives in
// /tmp/tikkaru-UID, used only while that folder is the user's own (a directory, no link, mode
// 0700): one that another user made or pointed elsewhere would let them hold the lock, so the
// clock runs without one.
class SingleInstance {
public:
    // True when another running copy holds the lock; asked again, the same answer.
    bool OtherRunning();
    // Gives up a lock of our own before the process ends at once, sparing the next start the
    // stale check (a killed copy leaves the file, stale by its process id).
    void Release();

private:
    std::unique_ptr<QLockFile> lock_;
    bool other_ = false;
};

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

// Ends the process at once, without further events.
[[noreturn]] void EndeSofort(int status = 0);

// What start-up and shutdown need of the process, injectable for tests.
struct Prozess {
    // The command line, read once.
    Aufruf Argumente;
    // The current working directory.
    std::string CurrentDir;
    // True when another copy of the program is running (and this one must end).
    std::function<bool()> PreviousInstance = [] { return false; };
    // Ends the program at once with the given exit status. After it returns (in tests) the
    // caller stops too. Unless told otherwise the event loop ends with the status, so that
    // the program returns from main with it.
    std::function<void(int Status)> EndProgram = [](int status) { QCoreApplication::exit(status); };
    // Speaking once while another copy runs: hands the request over to it (seconds, voice
    // number or 0 for its selected one) and returns the exit status it reports.
    std::function<int(bool Sekunden, int Stimme)> HandOver = [](bool, int) { return 7; };
    // A second start without a request: brings the running copy's window to the front.
    std::function<void()> BringToFront = [] {};
};
