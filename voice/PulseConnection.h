// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PulsePlayer.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <condition_variable>
#include <functional>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

// The connection to the sound server: a threaded main loop, a context made again after the
// retry pause once a failure dropped it, bounded waits for the server's answers, and the
// failures seen. A field marked "loop lock" is written by the loop thread's callbacks and is
// read and written only under the loop's lock; "caller's thread" is the one thread that plays.
class PulseConnection {
public:
    explicit PulseConnection(const PulsePlayer::Options& options) : options_(options) {}
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the main loop's lock for a scope: every call into the connection is made under it.
    class Locked {
    public:
        explicit Locked(PulseConnection& c) : loop_(c.loop_) { pa_threaded_mainloop_lock(loop_); }
        ~Locked() { pa_threaded_mainloop_unlock(loop_); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    static double Now();
    static void Sleep(double seconds);

    bool Started() const { return loop_ != nullptr; }
    void ConnectAhead();
    // A connection that is ready, made now if there is none (bounded by connectTimeout).
    bool Connect();
    pa_context* Context() const { return context_; }

    // Waits until done() (evaluated under the loop's lock) holds; false when the deadline
    // passes first.
    bool WaitFor(const std::function<bool()>& done, double deadline);
    // Waits for a request's answer; false (and the operation cancelled) when none came in
    // time or the stream (if any) failed meanwhile.
    bool WaitForOperation(pa_operation* op, pa_stream* stream, double deadline);
    // Asks, where the server rewinds at all, whether other streams keep the sink running;
    // false (and the connection given up) when no answer came in time.
    bool AskSink();
    // Whether a stream that starts now is rewound over: the server rewinds, the sink was idle.
    bool SinkRewinds();
    // What the last request answered with OnSuccess reported; loop lock.
    bool Succeeded() const { return operationSuccess_ != 0; }

    void Fail(PlayFailure why);
    // Gives up the connection and all streams after a failure; the next attempt waits for
    // the retry pause. Loop lock.
    void GiveUp(PlayFailure why);
    void BeginAnnouncement() { announcementFailure_ = PlayFailure::None; }
    PlayFailure FirstFailure() const { return firstFailure_; }
    PlayFailure AnnouncementFailure() const { return announcementFailure_; }
    // Called under the loop's lock before the context goes: the streams close.
    void OnDrop(std::function<void()> drop) { drop_ = std::move(drop); }

    // Callbacks for streams and their requests, with the connection as user data.
    static void OnStreamState(pa_stream*, void* self);
    static void OnSuccess(pa_stream*, int success, void* self);

private:
    bool StartLoop();
    bool BeginConnect();
    bool AwaitReady();
    void DropConnection();
    void Wake();

    const PulsePlayer::Options& options_;
    pa_threaded_mainloop* loop_ = nullptr; // caller's thread: made once, freed at the end
    pa_context* context_ = nullptr;        // loop lock
    bool connected_ = false;    // loop lock: the context was ready and the server said what it is
    bool serverRewinds_ = true; // loop lock: PulseAudio proper; PipeWire's pulse server does not
    bool sinkIdle_ = true;      // loop lock: no other stream played on the sink when asked
    int operationSuccess_ = 0;  // loop lock
    double nextAttempt_ = 0;    // caller's thread: no connection attempt before this time
    // Caller's thread: the first failure, the first since BeginAnnouncement, and why the
    // connection was last given up (what a sound skipped within the retry pause fails with).
    PlayFailure firstFailure_ = PlayFailure::None;
    PlayFailure announcementFailure_ = PlayFailure::None;
    PlayFailure lastGiveUp_ = PlayFailure::None;
    std::function<void()> drop_; // caller's thread, set once

    // The loop thread tells the waiting caller that something happened. The caller never holds
    // wakeMutex_ while it takes the loop's lock, so the two locks cannot deadlock.
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    uint64_t wakeCount_ = 0; // wakeMutex_
};
