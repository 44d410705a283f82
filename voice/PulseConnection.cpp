// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

Q_LOGGING_CATEGORY(lcPlayer, "tikkaru.player", QtInfoMsg)

double PulseConnection::Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void PulseConnection::Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

PulseConnection::~PulseConnection() {
    if (loop_ == nullptr) {
        return;
    }
    {
        Locked lock(*this);
        DropConnection();
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

// ---- called on the loop thread, with its lock held ----------------------------------------

void PulseConnection::Wake() {
    {
        std::lock_guard<std::mutex> g(wakeMutex_);
        ++wakeCount_;
    }
    wake_.notify_all();
}

void PulseConnection::OnStreamState(pa_stream*, void* self) {
    static_cast<PulseConnection*>(self)->Wake();
}

void PulseConnection::OnSuccess(pa_stream*, int success, void* self) {
    auto* c = static_cast<PulseConnection*>(self);
    c->operationSuccess_ = success;
    c->Wake();
}

// ---- called on the caller's thread ----------------------------------------------------------

bool PulseConnection::WaitFor(const std::function<bool()>& done, double deadline) {
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
        wake_.wait_for(g, std::chrono::duration<double>(left), [&] { return wakeCount_ != seen; });
    }
}

bool PulseConnection::WaitForOperation(pa_operation* op, pa_stream* stream, double deadline) {
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

void PulseConnection::Fail(PlayFailure why) {
    if (firstFailure_ == PlayFailure::None) {
        firstFailure_ = why;
    }
    if (announcementFailure_ == PlayFailure::None) {
        announcementFailure_ = why;
    }
}

void PulseConnection::GiveUp(PlayFailure why) {
    Fail(why);
    lastGiveUp_ = why;
    DropConnection();
    nextAttempt_ = Now() + options_.retryPause;
}

void PulseConnection::DropConnection() {
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

bool PulseConnection::StartLoop() {
    if (loop_ == nullptr) {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ != nullptr && pa_threaded_mainloop_start(loop_) < 0) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
        if (loop_ == nullptr) {
            qCDebug(lcPlayer) << "no main loop";
            Fail(PlayFailure::NoServer);
            return false;
        }
    }
    return true;
}

// Asks the server for a connection and returns without waiting for it; false when the
// request could not even be made. Loop lock.
bool PulseConnection::BeginConnect() {
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

// Connect() then finds the connection on its way or ready.
void PulseConnection::ConnectAhead() {
    if (!StartLoop()) {
        return;
    }
    Locked lock(*this);
    if (context_ == nullptr && Now() >= nextAttempt_) {
        BeginConnect();
    }
}

bool PulseConnection::Connect() {
    if (!StartLoop()) {
        return false;
    }
    {
        Locked lock(*this);
        if (context_ != nullptr && connected_) {
            if (pa_context_get_state(context_) == PA_CONTEXT_READY) {
                return true;
            }
            qCDebug(lcPlayer) << "connection lost";
            GiveUp(PlayFailure::ServerLost);
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

// Waits for the context begun to be ready and for the server to say what it is.
bool PulseConnection::AwaitReady() {
    const bool answered = WaitFor(
        [&] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        Now() + options_.connectTimeout);
    pa_operation* op = nullptr;
    {
        Locked lock(*this);
        if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
            qCDebug(lcPlayer) << (answered ? "server refused" : "server did not answer in time");
            GiveUp(answered ? PlayFailure::NoServer : PlayFailure::ServerSilent);
            return false;
        }
        const auto onInfo = [](pa_context*, const pa_server_info* info, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            if (info != nullptr && info->server_name != nullptr) {
                c->serverRewinds_ = std::strstr(info->server_name, "PipeWire") == nullptr;
            }
            c->Wake();
        };
        op = pa_context_get_server_info(context_, onInfo, this);
    }
    const bool told = WaitForOperation(op, nullptr, Now() + options_.connectTimeout);
    Locked lock(*this);
    if (!told) {
        qCDebug(lcPlayer) << "no server information in time";
        GiveUp(PlayFailure::ServerSilent);
        return false;
    }
    connected_ = true;
    return true;
}

bool PulseConnection::AskSink() {
    pa_operation* op = nullptr;
    {
        Locked lock(*this);
        if (!serverRewinds_) {
            return true;
        }
        const char* sink = std::getenv("PULSE_SINK");
        sinkIdle_ = true;
        const auto onInfo = [](pa_context*, const pa_sink_info* info, int, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            if (info != nullptr) {
                c->sinkIdle_ = info->state != PA_SINK_RUNNING;
            }
            c->Wake();
        };
        op = pa_context_get_sink_info_by_name(
            context_, sink != nullptr && *sink != 0 ? sink : "@DEFAULT_SINK@", onInfo, this);
    }
    if (WaitForOperation(op, nullptr, Now() + options_.connectTimeout)) {
        return true;
    }
    Locked lock(*this);
    qCDebug(lcPlayer) << "no sink information in time";
    GiveUp(PlayFailure::ServerSilent);
    return false;
}

bool PulseConnection::SinkRewinds() {
    Locked lock(*this);
    return serverRewinds_ && sinkIdle_;
}
