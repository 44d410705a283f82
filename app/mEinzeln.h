// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <string>

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
