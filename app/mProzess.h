// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mAnsage.h"
#include "mGetCMD.h"

#include <QCoreApplication>
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

// Whether the running clock answers a handed-over request with this status: all but
// AndereKopie, which only a copy that found no answer reports.
bool FensterStatus(int status);

// The exit status an announcement's result makes, for speaking once and for a request handed
// over alike: a sentence cut off because its time had passed comes first, then a failure of the
// sound server or of a recording, then pieces that had no recording.
EndeStatus StatusVon(const Ergebnis& ergebnis);

// The one German line for stderr that tells why speaking once failed ("" for Normal); for
// TeileFehlen it names the silent pieces.
std::string EndeMeldung(EndeStatus status, const std::vector<std::string>& Stumm = {});

// The user's runtime folder: XDG_RUNTIME_DIR, or where it is not set (cron, a shell started
// without the session's environment) /run/user/UID when that is the user's own (a directory,
// no link, mode 0700); "" when there is neither. Every copy of the clock finds its lock and the
// session bus there, from whichever environment it was started.
std::string LaufzeitOrdner();

// Single instance: the per-user lock in the runtime folder, held for the life of the object.
// The lock is a record lock on the file, which the kernel holds for the living process and
// frees when it ends, killed or not: whatever a file left behind holds (the process id of a
// killed copy, nothing at all, garbage), it keeps no clock from starting. The holder's process
// id is the kernel's, so a copy that has the lock but has not yet written it is seen too. Where
// no lock can be made at all (no writable runtime folder) the clock runs. Without a runtime
// folder the lock lives in /tmp/tikkaru-UID, used only while that folder is the user's own (a
// directory, no link, mode 0700): one that another user made or pointed elsewhere would let
// them hold the lock, so the clock runs without one.
class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    Q_DISABLE_COPY_MOVE(SingleInstance)
    // True when another running copy holds the lock; asked again, the same answer.
    bool OtherRunning();
    // The process id of the copy that holds the lock (0 when unknown or none).
    qint64 Halter() const;
    // Whether the copy that holds the lock is itself speaking once ("!" or "!!") rather than a
    // window: it takes no requests, it is busy.
    bool HalterSprichtEinmal() const;
    // Gives up a lock of our own before the process ends at once.
    void Release();

private:
    int fd_ = -1; // open while the lock is ours
    bool geprueft_ = false;
    bool other_ = false;
    qint64 halter_ = 0;
};

// Whether the command line of process pid asks to speak once (its /proc entry).
bool SprichtEinmal(qint64 pid);

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

// What start-up and shutdown need of the process, injectable for tests.
struct Prozess {
    // The command line, read once.
    Aufruf Argumente;
    // The current working directory.
    std::string CurrentDir;
    // True when another copy of the program is running (and this one must end).
    std::function<bool()> PreviousInstance = [] { return false; };
    // Ends the program at once with the given exit status; Stumm names the pieces that stayed
    // silent, for TeileFehlen. After it returns (in tests) the caller stops too. Unless told
    // otherwise the event loop ends with the status, so that the program returns from main
    // with it.
    std::function<void(int Status, const std::vector<std::string>& Stumm)> EndProgram =
        [](int status, const std::vector<std::string>&) { QCoreApplication::exit(status); };
    // Speaking once while another copy runs: hands the request over to it (seconds, voice
    // number or 0 for its selected one) and returns the exit status it reports, with the pieces
    // that stayed silent there in Stumm.
    std::function<int(bool Sekunden, int Stimme, std::vector<std::string>& Stumm)> HandOver =
        [](bool, int, std::vector<std::string>&) {
            return static_cast<int>(EndeStatus::AndereKopie);
        };
    // A second start without a request: brings the running copy's window to the front.
    std::function<void()> BringToFront = [] {};
};
