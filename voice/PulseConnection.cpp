// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>

#include <cstdlib>
#include <cstring>

PulseConnection::~PulseConnection() {
    if (loop_ != nullptr) {
        {
            Locked lock(*this);
            DropConnection();
        }
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
}

bool PulseConnection::WaitFor(const std::function<bool()>& done, double deadline) {
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard<std::mutex> g(wakeMutex_);
            if (aborted_) {
                return false;
            }
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

void PulseConnection::Abort() {
    {
        std::lock_guard<std::mutex> g(wakeMutex_);
        aborted_ = true;
        ++wakeCount_;
    }
    wake_.notify_all();
}

bool PulseConnection::Request(const std::function<pa_operation*()>& make, pa_stream* stream,
                              double deadline) {
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

void PulseConnection::Fail(PlayFailure why) {
    if (failure_ == PlayFailure::None) {
        failure_ = why;
    }
}

void PulseConnection::GiveUp(PlayFailure why, const char* what) {
    if (what != nullptr) {
        qCDebug(lcPlayer) << what;
    }
    Fail(why);
    lastGiveUp_ = why;
    DropConnection();
    nextAttempt_ = Now() + options_.retryPause;
}

void PulseConnection::GiveUpOn(pa_stream* stream, const char* what) {
    GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) ? PlayFailure::ServerSilent
                                                          : PlayFailure::ServerLost,
           what);
}

void PulseConnection::ConnectAhead() {
    if (StartLoop()) {
        Locked lock(*this);
        if (context_ == nullptr && Now() >= nextAttempt_) {
            BeginConnect();
        }
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

void PulseConnection::AskSinkAhead() {
    DropQuestions();
    if (!serverAsked_) {
        serverAsked_ = true;
        serverOp_ = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* self) {
                auto* c = static_cast<PulseConnection*>(self);
                if (info != nullptr && info->server_name != nullptr) {
                    c->serverRewinds_ = std::strstr(info->server_name, "PipeWire") == nullptr;
                }
                c->Wake();
            },
            this);
    }
    // Asked on every server: the answer is used only where the server rewinds.
    sinkIdle_ = true;
    const std::string& sink = options_.sink;
    sinkOp_ = pa_context_get_sink_info_by_name(
        context_, sink.empty() ? "@DEFAULT_SINK@" : sink.c_str(),
        [](pa_context*, const pa_sink_info* info, int, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            if (info != nullptr) {
                c->sinkIdle_ = info->state != PA_SINK_RUNNING;
            }
            c->Wake();
        },
        this);
}

bool PulseConnection::AwaitSink() {
    const auto answered = [](pa_operation* op) {
        return op == nullptr || pa_operation_get_state(op) != PA_OPERATION_RUNNING;
    };
    WaitFor([&] { return answered(serverOp_) && answered(sinkOp_); },
            Now() + options_.connectTimeout);
    Locked lock(*this);
    const auto done = [](pa_operation* op) {
        return op != nullptr && pa_operation_get_state(op) == PA_OPERATION_DONE;
    };
    // A question that could not even be asked (nullptr) has no answer either.
    const bool told = done(sinkOp_) && (serverOp_ == nullptr || done(serverOp_));
    DropQuestions();
    if (!told) {
        GiveUp(PlayFailure::ServerSilent, "no server or sink information in time");
    }
    return told;
}

void PulseConnection::DropQuestions() {
    for (pa_operation** op : {&serverOp_, &sinkOp_}) {
        if (*op != nullptr) {
            if (pa_operation_get_state(*op) == PA_OPERATION_RUNNING) {
                pa_operation_cancel(*op);
            }
            pa_operation_unref(*op);
            *op = nullptr;
        }
    }
}

bool PulseConnection::SinkRewinds() {
    Locked lock(*this);
    return serverRewinds_ && sinkIdle_;
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
        }
    }
    return loop_ != nullptr;
}

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

bool PulseConnection::AwaitReady() {
    const bool answered = WaitFor(
        [&] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        Now() + options_.connectTimeout);
    Locked lock(*this);
    const bool ready = pa_context_get_state(context_) == PA_CONTEXT_READY;
    if (!ready) {
        GiveUp(answered ? PlayFailure::NoServer : PlayFailure::ServerSilent,
               answered ? "server refused" : "server did not answer in time");
    }
    return connected_ = ready;
}

void PulseConnection::DropConnection() {
    if (drop_) {
        drop_();
    }
    DropQuestions();
    serverAsked_ = false;
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    connected_ = false;
}
