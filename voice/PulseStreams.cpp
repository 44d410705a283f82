// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseStreams.h"

#include "PulseConnection.h"
#include "SoundDecoder.h"

#include <pulse/proplist.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace {

bool SameSpec(const pa_sample_spec& a, const pa_sample_spec& b) {
    return a.format == b.format && a.rate == b.rate && a.channels == b.channels;
}

double Now() {
    return PulseConnection::Now();
}

} // namespace

using Locked = PulseConnection::Locked;

PulseStreams::PulseStreams(PulseConnection& connection, const PulsePlayer::Options& options)
    : connection_(connection), options_(options) {
    connection_.OnDrop([this] { CloseAll(); });
}

PulseStreams::~PulseStreams() {
    connection_.OnDrop(nullptr);
    if (connection_.Started()) {
        Locked lock(connection_);
        CloseAll();
    }
}

void PulseStreams::Close(Stream* s) {
    if (s == current_) {
        current_ = nullptr;
    }
    pa_stream_set_state_callback(s->stream, nullptr, nullptr);
    pa_stream_disconnect(s->stream);
    pa_stream_unref(s->stream);
    std::erase_if(streams_, [s](const auto& p) { return p.get() == s; });
}

void PulseStreams::CloseAll() {
    while (!streams_.empty()) {
        Close(streams_.back().get());
    }
}

// A playback stream for sampleSpec on the ready connection (bounded by connectTimeout).
PulseStreams::Stream* PulseStreams::Open(const pa_sample_spec& sampleSpec) {
    // Whether other streams keep the sink running: then a new stream of ours joins without a
    // rewind and needs no lead (see RewindLeadBytes).
    if (!connection_.AskSink()) {
        return nullptr;
    }
    Locked lock(connection_);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, options_.mediaRole.c_str());
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, "Ansage");
    pa_stream* stream =
        pa_stream_new_with_proplist(connection_.Context(), "Ansage", &sampleSpec, nullptr, props);
    pa_proplist_free(props);
    if (stream == nullptr) {
        connection_.GiveUp(PlayFailure::ServerLost);
        return nullptr;
    }
    streams_.push_back(std::make_unique<Stream>());
    Stream* s = streams_.back().get();
    s->sampleSpec = sampleSpec;
    s->stream = stream;
    pa_stream_set_state_callback(stream, &PulseConnection::OnStreamState, &connection_);
    const std::size_t frame = pa_frame_size(&sampleSpec);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(
        (static_cast<std::size_t>(options_.bufferSeconds * sampleSpec.rate) + 1) * frame);
    // Start as soon as there is anything to play, also after a pause.
    attr.prebuf = static_cast<uint32_t>(frame);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    if (pa_stream_connect_playback(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
        connection_.GiveUp(PlayFailure::ServerLost);
        return nullptr;
    }
    return s;
}

// Waits for a stream just opened to be ready; false (and the connection given up) otherwise.
bool PulseStreams::AwaitOpen(Stream* opened) {
    const bool answered = connection_.WaitFor(
        [&] {
            const pa_stream_state_t state = pa_stream_get_state(opened->stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        Now() + options_.connectTimeout);
    Locked lock(connection_);
    if (pa_stream_get_state(opened->stream) == PA_STREAM_READY) {
        opened->lastUsed = Now();
        return true;
    }
    qCDebug(lcPlayer) << (answered ? "no stream" : "stream not opened in time");
    connection_.GiveUp(answered ? PlayFailure::ServerLost : PlayFailure::ServerSilent);
    return false;
}

// Plays out what the stream holds; false when that failed (and the connection is gone).
bool PulseStreams::Drain(Stream* s) {
    pa_operation* op = nullptr;
    {
        Locked lock(connection_);
        op = pa_stream_drain(s->stream, &PulseConnection::OnSuccess, &connection_);
    }
    // The drain is answered once the sink has played what it holds ahead, too: on an idle
    // sink that may be seconds.
    const double deadline =
        std::max(s->queuedUntil, Now()) + std::min(s->sinkAhead, 5.0) + options_.answerTimeout;
    const bool answered = connection_.WaitForOperation(op, s->stream, deadline);
    Locked lock(connection_);
    if (!answered || !connection_.Succeeded()) {
        qCDebug(lcPlayer) << "drain failed";
        connection_.GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream))
                               ? PlayFailure::ServerSilent
                               : PlayFailure::ServerLost);
        return false;
    }
    s->lastUsed = Now();
    return true;
}

void PulseStreams::DrainAll() {
    if (!connection_.Started()) {
        return;
    }
    if (current_ != nullptr) {
        Drain(current_);
    }
    Locked lock(connection_);
    CloseAll();
}

// A stream left idle for long is closed: an open stream keeps the server busy.
void PulseStreams::CloseIdle() {
    const double now = Now();
    Locked lock(connection_);
    for (std::size_t i = streams_.size(); i-- > 0;) {
        if (streams_[i].get() != current_ && now - streams_[i]->lastUsed > options_.idleClose) {
            Close(streams_[i].get());
        }
    }
}

PulseStreams::Stream* PulseStreams::For(const pa_sample_spec& sampleSpec) {
    if (!connection_.Connect()) {
        return nullptr;
    }
    if (current_ != nullptr && SameSpec(current_->sampleSpec, sampleSpec)) {
        return current_;
    }
    if (current_ != nullptr && !Drain(current_)) {
        // The previous sound ends before this one starts on another stream.
        return nullptr;
    }
    current_ = nullptr;
    CloseIdle();
    for (const auto& s : streams_) {
        if (SameSpec(s->sampleSpec, sampleSpec)) {
            return current_ = s.get();
        }
    }
    Stream* opened = Open(sampleSpec);
    return current_ = opened != nullptr && AwaitOpen(opened) ? opened : nullptr;
}

// Asks the server for the stream's timing; false (and the connection given up) when no answer
// comes in time.
bool PulseStreams::UpdateTiming(Stream* s) {
    pa_operation* op = nullptr;
    {
        Locked lock(connection_);
        op = pa_stream_update_timing_info(s->stream, &PulseConnection::OnSuccess, &connection_);
    }
    if (connection_.WaitForOperation(op, s->stream, Now() + options_.answerTimeout)) {
        return true;
    }
    Locked lock(connection_);
    qCDebug(lcPlayer) << "no timing from the server";
    connection_.GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)) ? PlayFailure::ServerSilent
                                                                         : PlayFailure::ServerLost);
    return false;
}

// The last timing answer; loop lock.
TimingSnapshot PulseStreams::Snapshot(Stream* s) {
    TimingSnapshot snap;
    snap.rate = static_cast<int>(s->sampleSpec.rate);
    snap.frameBytes = pa_frame_size(&s->sampleSpec);
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(s->stream, &latency, &negative) == 0 && negative == 0) {
        snap.latencyUsec = latency;
    }
    const pa_timing_info* t = pa_stream_get_timing_info(s->stream);
    if (t == nullptr) {
        return snap;
    }
    timeval now{};
    pa_gettimeofday(&now);
    snap.known = true;
    snap.playing = t->playing != 0;
    snap.sinkUsec = t->sink_usec;
    snap.configuredUsec = t->configured_sink_usec;
    snap.ageUsec = pa_timeval_diff(&now, &t->timestamp);
    snap.sinceUnderrun = t->since_underrun;
    return snap;
}

// One write of a piece of the sound; false when it failed (and the connection is gone). The
// lead goes out with the sound in one write, right after the timing answer. Where other
// streams keep the sink running, a stream of ours joins without a rewind and a lead would only
// be heard as a delay: there is none then.
bool PulseStreams::Write(Stream* s, std::vector<char>& buffer, bool lead) {
    if (lead && !UpdateTiming(s)) {
        return false;
    }
    Locked lock(connection_);
    if (lead) {
        buffer.insert(buffer.begin(), RewindLeadBytes(Snapshot(s)), 0);
    }
    s->runBytes += buffer.size();
    if (pa_stream_get_state(s->stream) != PA_STREAM_READY ||
        pa_stream_write(s->stream, buffer.data(), buffer.size(), nullptr, 0, PA_SEEK_RELATIVE) <
            0) {
        qCDebug(lcPlayer) << "write failed";
        connection_.GiveUp(PlayFailure::ServerLost);
        return false;
    }
    return true;
}

void PulseStreams::Play(Stream* s, SoundDecoder& dec, bool shorts) {
    // The sound goes to the server in pieces of a second, whole for a word piece; a long file
    // is held at most a few seconds ahead of what is playing.
    const std::size_t frameBytes = pa_frame_size(&s->sampleSpec);
    const int64_t chunkFrames = s->sampleSpec.rate;
    std::vector<char> buffer;
    const bool dry = s->queuedUntil < Now();
    if (dry) {
        s->runBytes = 0;
    }
    bool lead = dry && connection_.SinkRewinds();
    for (;;) {
        buffer.resize(static_cast<std::size_t>(chunkFrames) * frameBytes);
        const int64_t got =
            shorts ? dec.ReadShorts(reinterpret_cast<int16_t*>(buffer.data()), chunkFrames)
                   : dec.ReadFloats(reinterpret_cast<float*>(buffer.data()), chunkFrames);
        if (got <= 0) {
            break;
        }
        buffer.resize(static_cast<std::size_t>(got) * frameBytes);
        if (!Write(s, buffer, lead)) {
            return;
        }
        lead = false;
        const double seconds = static_cast<double>(got) / s->sampleSpec.rate;
        s->queuedUntil = std::max(s->queuedUntil, Now()) + seconds;
        const double ahead = s->queuedUntil - Now();
        if (ahead > 3.0) {
            PulseConnection::Sleep(ahead - 2.0);
        }
    }
    WaitUntilNearlyPlayed(s);
}

// Returns once what is left to play is within returnAhead of the end (see ExpectEnd).
void PulseStreams::WaitUntilNearlyPlayed(Stream* s) {
    if (!UpdateTiming(s)) {
        return;
    }
    PlayEnd e;
    for (;;) {
        TimingSnapshot snap;
        {
            Locked lock(connection_);
            snap = Snapshot(s);
        }
        if (snap.known) {
            s->sinkAhead = static_cast<double>(snap.sinkUsec) / 1e6;
        }
        e = ExpectEnd(snap, s->runBytes, Now(), e.bound, options_.startPoll, options_.returnAhead);
        if (e.done) {
            break;
        }
        PulseConnection::Sleep(options_.startPoll);
        if (!UpdateTiming(s)) {
            return;
        }
    }
    s->queuedUntil = e.end;
    s->lastUsed = e.end;
    const double wait = e.end - options_.returnAhead - Now();
    if (wait > 0) {
        PulseConnection::Sleep(wait);
    }
}
