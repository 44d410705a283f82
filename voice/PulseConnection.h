// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"
#include "PulseOptions.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

// The connection to the sound server, PulsePlayer's own part: a threaded main loop, a context
// made again after the retry pause once a failure dropped it, bounded waits for the server's
// answers, and the failures seen. A field marked "loop lock" is written by the loop thread's
// callbacks and is read and written only under the loop's lock; "player thread" is the one
// thread that plays (PulsePlayer's own, never the window's). Locking the connection
// (std::lock_guard) takes the loop's lock; every call into the server is made under it.
class PulseConnection {
public:
    using Locked = std::lock_guard<PulseConnection>;

    explicit PulseConnection(const PulseOptions& options) : options_(options) {}
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;
    ~PulseConnection();

    void lock() { pa_threaded_mainloop_lock(loop_); }
    void unlock() { pa_threaded_mainloop_unlock(loop_); }
    static double Now() {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    bool Started() const { return loop_ != nullptr; }
    pa_context* Context() const { return context_; } // loop lock

    // ---- called on the loop thread, with its lock held ---------------------------------------

    void Wake() {
        std::lock_guard<std::mutex> g(wakeMutex_);
        ++wakeCount_;
        wake_.notify_all();
    }
    // Callbacks for streams and their requests, with the connection as user data.
    static void OnStreamState(pa_stream*, void* self) {
        static_cast<PulseConnection*>(self)->Wake();
    }
    static void OnSuccess(pa_stream*, int success, void* self) {
        static_cast<PulseConnection*>(self)->operationSuccess_ = success;
        static_cast<PulseConnection*>(self)->Wake();
    }

    // ---- called on the player thread -------------------------------------------------------

    // Waits until done() (evaluated under the loop's lock) holds; false when the deadline
    // passes first, or once Abort has been called.
    bool WaitFor(const std::function<bool()>& done, double deadline);

    // Makes a request under the loop's lock and waits for its answer; false (the request
    // cancelled) when none came in time or the stream (if any) failed meanwhile.
    bool Request(const std::function<pa_operation*()>& make, pa_stream* stream, double deadline);
    // What the last request answered with OnSuccess reported; loop lock.
    bool Succeeded() const { return operationSuccess_ != 0; }

    void Fail(PlayFailure why);
    // Gives up the connection and all streams after a failure (what: for the log); the next
    // attempt waits for the retry pause. Loop lock.
    void GiveUp(PlayFailure why, const char* what = nullptr);
    // After a request on a stream that was not answered: a silent server or a broken stream.
    void GiveUpOn(pa_stream* stream, const char* what);
    // The first failure since the last call, and none from now on: what the sound (or drain)
    // just done failed with.
    PlayFailure TakeFailure() { return std::exchange(failure_, PlayFailure::None); }
    // Called under the loop's lock before the context goes: the streams close.
    void OnDrop(std::function<void()> drop) { drop_ = std::move(drop); }

    // From any thread: every wait, now and later, gives up at once (the player is going).
    void Abort();

    // Starts connecting and returns at once; Connect() then finds the connection on its way
    // or ready.
    void ConnectAhead();

    // A connection that is ready, made now if there is none (bounded by connectTimeout).
    bool Connect();

    // Asks what the server is (once a connection) and whether other streams keep the sink
    // running, and returns without waiting: the answers come while a stream opens, instead of
    // one round trip after the other before it. Loop lock.
    void AskSinkAhead();
    // Waits for the answers asked ahead; false (the connection given up) when none came in
    // time.
    bool AwaitSink();
    // Whether a stream that starts now is rewound over: the server rewinds, the sink was idle.
    bool SinkRewinds();

private:
    bool StartLoop();

    // Asks the server for a connection and returns without waiting for it; false when the
    // request could not even be made. Loop lock.
    bool BeginConnect();

    // Waits for the context begun to be ready.
    bool AwaitReady();
    // Forgets the questions asked ahead, answered or not. Loop lock.
    void DropQuestions();

    void DropConnection();

    const PulseOptions& options_;
    pa_threaded_mainloop* loop_ = nullptr; // player thread: made once, freed at the end
    pa_context* context_ = nullptr;        // loop lock
    bool connected_ = false;               // loop lock: the context was ready
    bool serverRewinds_ = true; // loop lock: PulseAudio proper; PipeWire's pulse server does not
    bool sinkIdle_ = true;      // loop lock: no other stream played on the sink when asked
    bool serverAsked_ = false;  // loop lock: the server was asked what it is, on this context
    pa_operation* serverOp_ = nullptr; // loop lock: the questions asked ahead, until answered
    pa_operation* sinkOp_ = nullptr;
    int operationSuccess_ = 0; // loop lock
    double nextAttempt_ = 0;   // player thread: no connection attempt before this time
    // Player thread: the first failure since TakeFailure, and why the connection was last
    // given up (what a sound skipped within the retry pause fails with).
    PlayFailure failure_ = PlayFailure::None;
    PlayFailure lastGiveUp_ = PlayFailure::None;
    std::function<void()> drop_; // player thread, set once

    // The loop thread tells the waiting caller that something happened. The caller never holds
    // wakeMutex_ while it takes the loop's lock, so the two locks cannot deadlock.
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    uint64_t wakeCount_ = 0; // wakeMutex_
    bool aborted_ = false;   // wakeMutex_
};
