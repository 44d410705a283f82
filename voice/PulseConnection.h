// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PulsePlayer.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

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

    explicit PulseConnection(const PulsePlayer::Options& options) : options_(options) {}
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;
    ~PulseConnection() {
        if (loop_ != nullptr) {
            {
                Locked lock(*this);
                DropConnection();
            }
            pa_threaded_mainloop_stop(loop_);
            pa_threaded_mainloop_free(loop_);
        }
    }

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
    // passes first.
    bool WaitFor(const std::function<bool()>& done, double deadline) {
        for (;;) {
            uint64_t seen = 0;
            {
                std::lock_guard<std::mutex> g(wakeMutex_);
                seen = wakeCount_;
            }
            {
                Locked lock(*this);
                if (done()) {
                    return true;
                }
            }
            const double left = deadline - Now();
            if (left <= 0) {
                return false;
            }
            std::unique_lock<std::mutex> g(wakeMutex_);
            wake_.wait_for(g, std::chrono::duration<double>(left),
                           [&] { return wakeCount_ != seen; });
        }
    }

    // Makes a request under the loop's lock and waits for its answer; false (the request
    // cancelled) when none came in time or the stream (if any) failed meanwhile.
    bool Request(const std::function<pa_operation*()>& make, pa_stream* stream, double deadline) {
        pa_operation* op = nullptr;
        {
            Locked lock(*this);
            op = make();
        }
        if (op == nullptr) {
            return false;
        }
        const bool answered = WaitFor(
            [&] {
                return pa_operation_get_state(op) != PA_OPERATION_RUNNING ||
                       (stream != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)));
            },
            deadline);
        Locked lock(*this);
        const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!done) {
            pa_operation_cancel(op);
        }
        pa_operation_unref(op);
        return answered && done;
    }
    // What the last request answered with OnSuccess reported; loop lock.
    bool Succeeded() const { return operationSuccess_ != 0; }

    void Fail(PlayFailure why) {
        for (std::atomic<PlayFailure>* kept : {&firstFailure_, &announcementFailure_}) {
            if (*kept == PlayFailure::None) {
                *kept = why;
            }
        }
    }
    // Gives up the connection and all streams after a failure (what: for the log); the next
    // attempt waits for the retry pause. Loop lock.
    void GiveUp(PlayFailure why, const char* what = nullptr) {
        if (what != nullptr) {
            qCDebug(lcPlayer) << what;
        }
        Fail(why);
        lastGiveUp_ = why;
        DropConnection();
        nextAttempt_ = Now() + options_.retryPause;
    }
    // After a request on a stream that was not answered: a silent server or a broken stream.
    void GiveUpOn(pa_stream* stream, const char* what) {
        GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) ? PlayFailure::ServerSilent
                                                              : PlayFailure::ServerLost,
               what);
    }
    void BeginAnnouncement() { announcementFailure_ = PlayFailure::None; }
    PlayFailure FirstFailure() const { return firstFailure_; }
    PlayFailure AnnouncementFailure() const { return announcementFailure_; }
    // Called under the loop's lock before the context goes: the streams close.
    void OnDrop(std::function<void()> drop) { drop_ = std::move(drop); }

    // Starts connecting and returns at once; Connect() then finds the connection on its way
    // or ready.
    void ConnectAhead() {
        if (StartLoop()) {
            Locked lock(*this);
            if (context_ == nullptr && Now() >= nextAttempt_) {
                BeginConnect();
            }
        }
    }

    // A connection that is ready, made now if there is none (bounded by connectTimeout).
    bool Connect() {
        if (!StartLoop()) {
            return false;
        }
        {
            Locked lock(*this);
            if (context_ != nullptr && connected_) {
                if (pa_context_get_state(context_) == PA_CONTEXT_READY) {
                    return true;
                }
                GiveUp(PlayFailure::ServerLost, "connection lost");
                return false;
            }
            // Either no connection, or one begun ahead that is still on its way.
            if (context_ == nullptr && Now() < nextAttempt_) {
                // Skipped within the retry pause: not heard, for the reason of the pause.
                Fail(lastGiveUp_);
                return false;
            }
            if (context_ == nullptr && !BeginConnect()) {
                return false;
            }
        }
        return AwaitReady();
    }

    // Where the server rewinds at all, asks whether other streams keep the sink running;
    // false (the connection given up) when no answer came in time.
    bool AskSink() {
        const auto onInfo = [](pa_context*, const pa_sink_info* info, int, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            if (info != nullptr) {
                c->sinkIdle_ = info->state != PA_SINK_RUNNING;
            }
            c->Wake();
        };
        bool asked = false;
        const bool told = Request(
            [&]() -> pa_operation* {
                asked = serverRewinds_;
                sinkIdle_ = true;
                const char* sink = std::getenv("PULSE_SINK");
                return asked
                           ? pa_context_get_sink_info_by_name(
                                 context_, sink != nullptr && *sink != 0 ? sink : "@DEFAULT_SINK@",
                                 onInfo, this)
                           : nullptr;
            },
            nullptr, Now() + options_.connectTimeout);
        if (!asked || told) {
            return true;
        }
        Locked lock(*this);
        GiveUp(PlayFailure::ServerSilent, "no sink information in time");
        return false;
    }
    // Whether a stream that starts now is rewound over: the server rewinds, the sink was idle.
    bool SinkRewinds() {
        Locked lock(*this);
        return serverRewinds_ && sinkIdle_;
    }

private:
    bool StartLoop() {
        if (loop_ == nullptr) {
            loop_ = pa_threaded_mainloop_new();
            if (loop_ != nullptr && pa_threaded_mainloop_start(loop_) < 0) {
                pa_threaded_mainloop_free(loop_);
                loop_ = nullptr;
            }
            if (loop_ == nullptr) {
                qCDebug(lcPlayer) << "no main loop";
                Fail(PlayFailure::NoServer);
            }
        }
        return loop_ != nullptr;
    }

    // Asks the server for a connection and returns without waiting for it; false when the
    // request could not even be made. Loop lock.
    bool BeginConnect() {
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, options_.appName.c_str());
        pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, options_.iconName.c_str());
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, options_.iconName.c_str());
        context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_),
                                                options_.appName.c_str(), props);
        pa_proplist_free(props);
        if (context_ == nullptr) {
            GiveUp(PlayFailure::NoServer);
            return false;
        }
        pa_context_set_state_callback(
            context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->Wake(); },
            this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            qCDebug(lcPlayer) << "no server:" << pa_strerror(pa_context_errno(context_));
            GiveUp(PlayFailure::NoServer);
            return false;
        }
        return true;
    }

    // Waits for the context begun to be ready and for the server to say what it is.
    bool AwaitReady() {
        const bool answered = WaitFor(
            [&] {
                const pa_context_state_t state = pa_context_get_state(context_);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            Now() + options_.connectTimeout);
        const auto onInfo = [](pa_context*, const pa_server_info* info, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            if (info != nullptr && info->server_name != nullptr) {
                c->serverRewinds_ = std::strstr(info->server_name, "PipeWire") == nullptr;
            }
            c->Wake();
        };
        bool ready = false;
        const bool told = Request(
            [&]() -> pa_operation* {
                ready = pa_context_get_state(context_) == PA_CONTEXT_READY;
                return ready ? pa_context_get_server_info(context_, onInfo, this) : nullptr;
            },
            nullptr, Now() + options_.connectTimeout);
        Locked lock(*this);
        if (!ready) {
            GiveUp(answered ? PlayFailure::NoServer : PlayFailure::ServerSilent,
                   answered ? "server refused" : "server did not answer in time");
        } else if (!told) {
            GiveUp(PlayFailure::ServerSilent, "no server information in time");
        }
        return connected_ = ready && told;
    }

    void DropConnection() {
        if (drop_) {
            drop_();
        }
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        connected_ = false;
    }

    const PulsePlayer::Options& options_;
    pa_threaded_mainloop* loop_ = nullptr; // player thread: made once, freed at the end
    pa_context* context_ = nullptr;        // loop lock
    bool connected_ = false;    // loop lock: the context was ready and the server said what it is
    bool serverRewinds_ = true; // loop lock: PulseAudio proper; PipeWire's pulse server does not
    bool sinkIdle_ = true;      // loop lock: no other stream played on the sink when asked
    int operationSuccess_ = 0;  // loop lock
    double nextAttempt_ = 0;    // player thread: no connection attempt before this time
    // Written on the player thread, read on any: the first failure and the first since
    // BeginAnnouncement. Player thread: why the connection was last given up (what a sound
    // skipped within the retry pause fails with).
    std::atomic<PlayFailure> firstFailure_ = PlayFailure::None;
    std::atomic<PlayFailure> announcementFailure_ = PlayFailure::None;
    PlayFailure lastGiveUp_ = PlayFailure::None;
    std::function<void()> drop_; // player thread, set once

    // The loop thread tells the waiting caller that something happened. The caller never holds
    // wakeMutex_ while it takes the loop's lock, so the two locks cannot deadlock.
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    uint64_t wakeCount_ = 0; // wakeMutex_
};
