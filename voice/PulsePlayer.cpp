// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulsePlayer.h"

#include "SoundDecoder.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/sample.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcPlayer, "tikkaru.player", QtInfoMsg)

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool SameSpec(const pa_sample_spec& a, const pa_sample_spec& b) {
    return a.format == b.format && a.rate == b.rate && a.channels == b.channels;
}

// Holds the main loop's lock for a scope: every call into the connection is made under it.
class Locked {
public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

} // namespace

struct PulsePlayer::Impl {
    struct Stream {
        pa_sample_spec sampleSpec{};
        pa_stream* stream = nullptr;
        double lastUsed = 0;
        // When, by our clock, everything written so far will have been played at the latest.
        double queuedUntil = 0;
        // Bytes written since the stream last ran dry (or was opened): what it has to play
        // before it falls silent again.
        uint64_t runBytes = 0;
        // What the sink held ahead of its output at the last timing answer.
        double sinkAhead = 0;
    };

    Options options;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::vector<std::unique_ptr<Stream>> streams; // open streams, one per sample format
    Stream* current = nullptr;                    // the stream written last
    double nextAttempt = 0;                       // no connection attempt before this time
    PlayFailure firstFailure = PlayFailure::None;
    PlayFailure announcementFailure = PlayFailure::None; // since BeginAnnouncement
    PlayFailure lastGiveUp = PlayFailure::None;          // why the connection was dropped
    int operationSuccess = 0;
    bool serverRewinds = true; // PulseAudio proper; PipeWire's pulse server does not rewind
    bool sinkIdle = true;      // no other stream played on the sink when ours was opened
    bool connected = false;    // the context was ready and the server has said what it is

    // The loop thread tells the waiting caller that something happened. The caller never holds
    // wakeMutex while it takes the loop's lock, so the two locks cannot deadlock.
    std::mutex wakeMutex;
    std::condition_variable wake;
    uint64_t wakeCount = 0;

    explicit Impl(Options o) : options(std::move(o)) {}

    ~Impl() {
        if (loop == nullptr) {
            return;
        }
        {
            Locked lock(loop);
            DropConnection();
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    // ---- called on the loop thread, with its lock held ----------------------------------

    void Wake() {
        {
            std::lock_guard<std::mutex> g(wakeMutex);
            ++wakeCount;
        }
        wake.notify_all();
    }
    static void OnContextState(pa_context*, void* self) { static_cast<Impl*>(self)->Wake(); }
    static void OnStreamState(pa_stream*, void* self) { static_cast<Impl*>(self)->Wake(); }
    static void OnServerInfo(pa_context*, const pa_server_info* info, void* self) {
        if (info != nullptr && info->server_name != nullptr) {
            static_cast<Impl*>(self)->serverRewinds =
                std::strstr(info->server_name, "PipeWire") == nullptr;
        }
        static_cast<Impl*>(self)->Wake();
    }
    static void OnSinkInfo(pa_context*, const pa_sink_info* info, int, void* self) {
        if (info != nullptr) {
            static_cast<Impl*>(self)->sinkIdle = info->state != PA_SINK_RUNNING;
        }
        static_cast<Impl*>(self)->Wake();
    }
    static void OnSuccess(pa_stream*, int success, void* self) {
        static_cast<Impl*>(self)->operationSuccess = success;
        static_cast<Impl*>(self)->Wake();
    }

    // ---- called on the caller's thread --------------------------------------------------

    // Waits until done() (evaluated under the loop's lock) holds; false when the deadline
    // passes first.
    bool WaitFor(const std::function<bool()>& done, double deadline) {
        for (;;) {
            uint64_t seen = 0;
            {
                std::lock_guard<std::mutex> g(wakeMutex);
                seen = wakeCount;
            }
            {
                Locked lock(loop);
                if (done()) {
                    return true;
                }
            }
            const double left = deadline - Now();
            if (left <= 0) {
                return false;
            }
            std::unique_lock<std::mutex> g(wakeMutex);
            wake.wait_for(g, std::chrono::duration<double>(left),
                          [&] { return wakeCount != seen; });
        }
    }

    // Waits for a request's answer; false (and the operation cancelled) when none came in
    // time or the stream s (if any) failed meanwhile.
    bool WaitForOperation(pa_operation* op, Stream* s, double deadline) {
        if (op == nullptr) {
            return false;
        }
        const bool answered = WaitFor(
            [&] {
                return pa_operation_get_state(op) != PA_OPERATION_RUNNING ||
                       (s != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)));
            },
            deadline);
        Locked lock(loop);
        const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!done) {
            pa_operation_cancel(op);
        }
        pa_operation_unref(op);
        return answered && done;
    }

    void Fail(PlayFailure why) {
        if (firstFailure == PlayFailure::None) {
            firstFailure = why;
        }
        if (announcementFailure == PlayFailure::None) {
            announcementFailure = why;
        }
    }

    // Gives up the connection and all streams after a failure; the next attempt waits for
    // the retry pause. The caller holds the loop's lock.
    void GiveUp(PlayFailure why) {
        Fail(why);
        lastGiveUp = why;
        DropConnection();
        nextAttempt = Now() + options.retryPause;
    }

    void DropConnection() {
        CloseAll();
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        connected = false;
    }

    void Close(Stream* s) {
        if (s == current) {
            current = nullptr;
        }
        pa_stream_set_state_callback(s->stream, nullptr, nullptr);
        pa_stream_disconnect(s->stream);
        pa_stream_unref(s->stream);
        std::erase_if(streams, [s](const auto& p) { return p.get() == s; });
    }

    void CloseAll() {
        while (!streams.empty()) {
            Close(streams.back().get());
        }
    }

    bool StartLoop() {
        if (loop == nullptr) {
            loop = pa_threaded_mainloop_new();
            if (loop != nullptr && pa_threaded_mainloop_start(loop) < 0) {
                pa_threaded_mainloop_free(loop);
                loop = nullptr;
            }
            if (loop == nullptr) {
                qCDebug(lcPlayer) << "no main loop";
                Fail(PlayFailure::NoServer);
                return false;
            }
        }
        return true;
    }

    // Asks the server for a connection and returns without waiting for it; false when the
    // request could not even be made. The caller holds the loop's lock.
    bool BeginConnect() {
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, options.appName.c_str());
        pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, options.iconName.c_str());
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, options.iconName.c_str());
        context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop),
                                               options.appName.c_str(), props);
        pa_proplist_free(props);
        if (context == nullptr) {
            GiveUp(PlayFailure::NoServer);
            return false;
        }
        pa_context_set_state_callback(context, &Impl::OnContextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            qCDebug(lcPlayer) << "no server:" << pa_strerror(pa_context_errno(context));
            GiveUp(PlayFailure::NoServer);
            return false;
        }
        return true;
    }

    // Starts connecting ahead of the first sound; Connect() then finds the connection on its
    // way or ready.
    void ConnectAhead() {
        if (!StartLoop()) {
            return;
        }
        Locked lock(loop);
        if (context == nullptr && Now() >= nextAttempt) {
            BeginConnect();
        }
    }

    // A connection that is ready, made now if there is none (bounded by connectTimeout).
    bool Connect() {
        if (!StartLoop()) {
            return false;
        }
        {
            Locked lock(loop);
            if (context != nullptr && connected) {
                if (pa_context_get_state(context) == PA_CONTEXT_READY) {
                    return true;
                }
                qCDebug(lcPlayer) << "connection lost";
                GiveUp(PlayFailure::ServerLost);
                return false;
            }
            // Either no connection, or one begun ahead that is still on its way.
            if (context == nullptr) {
                if (Now() < nextAttempt) {
                    // Skipped within the retry pause: not heard, for the reason of the pause.
                    Fail(lastGiveUp);
                    return false;
                }
                if (!BeginConnect()) {
                    return false;
                }
            }
        }
        const bool answered = WaitFor(
            [&] {
                const pa_context_state_t state = pa_context_get_state(context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            Now() + options.connectTimeout);
        pa_operation* op = nullptr;
        {
            Locked lock(loop);
            if (pa_context_get_state(context) != PA_CONTEXT_READY) {
                qCDebug(lcPlayer) << (answered ? "server refused"
                                               : "server did not answer in time");
                GiveUp(answered ? PlayFailure::NoServer : PlayFailure::ServerSilent);
                return false;
            }
            op = pa_context_get_server_info(context, &Impl::OnServerInfo, this);
        }
        if (!WaitForOperation(op, nullptr, Now() + options.connectTimeout)) {
            Locked lock(loop);
            qCDebug(lcPlayer) << "no server information in time";
            GiveUp(PlayFailure::ServerSilent);
            return false;
        }
        Locked lock(loop);
        connected = true;
        return true;
    }

    // A playback stream for sampleSpec on the ready connection (bounded by connectTimeout).
    Stream* Open(const pa_sample_spec& sampleSpec) {
        // Whether other streams keep the sink running: then a new stream of ours joins without
        // a rewind and needs no lead (see RewindLeadBytes).
        if (serverRewinds) {
            pa_operation* op = nullptr;
            {
                Locked lock(loop);
                const char* sink = std::getenv("PULSE_SINK");
                sinkIdle = true;
                op = pa_context_get_sink_info_by_name(
                    context, sink != nullptr && *sink != 0 ? sink : "@DEFAULT_SINK@",
                    &Impl::OnSinkInfo, this);
            }
            if (!WaitForOperation(op, nullptr, Now() + options.connectTimeout)) {
                Locked lock(loop);
                qCDebug(lcPlayer) << "no sink information in time";
                GiveUp(PlayFailure::ServerSilent);
                return nullptr;
            }
        }
        auto s = std::make_unique<Stream>();
        s->sampleSpec = sampleSpec;
        {
            Locked lock(loop);
            pa_proplist* props = pa_proplist_new();
            pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, options.mediaRole.c_str());
            pa_proplist_sets(props, PA_PROP_MEDIA_NAME, "Ansage");
            s->stream = pa_stream_new_with_proplist(context, "Ansage", &sampleSpec, nullptr, props);
            pa_proplist_free(props);
            if (s->stream == nullptr) {
                GiveUp(PlayFailure::ServerLost);
                return nullptr;
            }
            pa_stream_set_state_callback(s->stream, &Impl::OnStreamState, this);
            const std::size_t frame = pa_frame_size(&sampleSpec);
            pa_buffer_attr attr{};
            attr.maxlength = static_cast<uint32_t>(-1);
            attr.tlength = static_cast<uint32_t>(
                (static_cast<std::size_t>(options.bufferSeconds * sampleSpec.rate) + 1) * frame);
            // Start as soon as there is anything to play, also after a pause.
            attr.prebuf = static_cast<uint32_t>(frame);
            attr.minreq = static_cast<uint32_t>(-1);
            attr.fragsize = static_cast<uint32_t>(-1);
            streams.push_back(std::move(s));
            if (pa_stream_connect_playback(streams.back()->stream, nullptr, &attr,
                                           PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
                GiveUp(PlayFailure::ServerLost);
                return nullptr;
            }
        }
        Stream* opened = streams.back().get();
        const bool answered = WaitFor(
            [&] {
                const pa_stream_state_t state = pa_stream_get_state(opened->stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            Now() + options.connectTimeout);
        Locked lock(loop);
        if (pa_stream_get_state(opened->stream) == PA_STREAM_READY) {
            opened->lastUsed = Now();
            return opened;
        }
        qCDebug(lcPlayer) << (answered ? "no stream" : "stream not opened in time");
        GiveUp(answered ? PlayFailure::ServerLost : PlayFailure::ServerSilent);
        return nullptr;
    }

    // Plays out what the stream holds; false when that failed (and the connection is gone).
    bool DrainStream(Stream* s) {
        pa_operation* op = nullptr;
        {
            Locked lock(loop);
            op = pa_stream_drain(s->stream, &Impl::OnSuccess, this);
        }
        // The drain is answered once the sink has played what it holds ahead, too: on an idle
        // sink that may be seconds.
        const double deadline =
            std::max(s->queuedUntil, Now()) + std::min(s->sinkAhead, 5.0) + options.answerTimeout;
        const bool answered = WaitForOperation(op, s, deadline);
        Locked lock(loop);
        if (!answered || operationSuccess == 0) {
            qCDebug(lcPlayer) << "drain failed";
            GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)) ? PlayFailure::ServerSilent
                                                                     : PlayFailure::ServerLost);
            return false;
        }
        s->lastUsed = Now();
        return true;
    }

    // A stream left idle for long is closed: an open stream keeps the server busy.
    void CloseIdle() {
        const double now = Now();
        Locked lock(loop);
        for (std::size_t i = streams.size(); i-- > 0;) {
            if (streams[i].get() != current && now - streams[i]->lastUsed > options.idleClose) {
                Close(streams[i].get());
            }
        }
    }

    // The stream for sampleSpec, after what the previous stream holds has been played.
    Stream* StreamFor(const pa_sample_spec& sampleSpec) {
        if (!Connect()) {
            return nullptr;
        }
        if (current != nullptr && SameSpec(current->sampleSpec, sampleSpec)) {
            return current;
        }
        if (current != nullptr && !DrainStream(current)) {
            // The previous sound ends before this one starts on another stream.
            return nullptr;
        }
        current = nullptr;
        CloseIdle();
        for (const auto& s : streams) {
            if (SameSpec(s->sampleSpec, sampleSpec)) {
                return current = s.get();
            }
        }
        return current = Open(sampleSpec);
    }

    // Asks the server for the stream's timing; false (and the connection given up) when no
    // answer comes in time.
    bool UpdateTiming(Stream* s) {
        pa_operation* op = nullptr;
        {
            Locked lock(loop);
            op = pa_stream_update_timing_info(s->stream, &Impl::OnSuccess, this);
        }
        if (WaitForOperation(op, s, Now() + options.answerTimeout)) {
            return true;
        }
        Locked lock(loop);
        qCDebug(lcPlayer) << "no timing from the server";
        GiveUp(PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)) ? PlayFailure::ServerSilent
                                                                 : PlayFailure::ServerLost);
        return false;
    }

    // A stream that is new or has run dry is in underrun: when data arrives, the server rewinds
    // the sink by as much as the stream has been dry (all it can for a new stream) and renders
    // that part again, so that the sound starts at once and no gap is left. A monitor of the
    // sink (a recorder, a network or combined sink) has passed that part on already and would
    // lose the start of the sound. Silence of just the rewound length in front of the sound is
    // what the rewind takes instead; the sound still starts at once, and a pause before it
    // keeps its length. The rewind reaches back over what the sink holds ahead: its latency
    // from the last timing answer, less the time since; when that is nearly used up, the sink
    // is about to render its next block, so the whole configured latency. Where other streams
    // keep the sink running, a stream of ours joins without such a rewind and a lead would
    // only be heard as a delay: there is none then. The caller holds the loop's lock.
    std::size_t RewindLeadBytes(const Stream* s) const {
        const pa_timing_info* t = pa_stream_get_timing_info(s->stream);
        if (t == nullptr || t->playing != 0) {
            return 0;
        }
        timeval now{};
        pa_gettimeofday(&now);
        const pa_usec_t age = pa_timeval_diff(&now, &t->timestamp);
        const pa_usec_t ahead =
            t->sink_usec > age + 1000 ? t->sink_usec - age : t->configured_sink_usec;
        pa_usec_t lead = std::min<pa_usec_t>(ahead, 500000);
        if (t->since_underrun >= 0) {
            const pa_usec_t dry =
                pa_bytes_to_usec(static_cast<uint64_t>(t->since_underrun), &s->sampleSpec) + age;
            lead = std::min(lead, dry);
        }
        return pa_usec_to_bytes(lead, &s->sampleSpec);
    }

    void Play(SoundDecoder& dec) {
        if (!Playable(dec)) {
            qCDebug(lcPlayer) << "not playable:" << dec.Error().c_str() << dec.SampleRate() << "Hz"
                              << dec.Channels() << "channels";
            Fail(PlayFailure::Undecodable);
            return;
        }
        pa_sample_spec sampleSpec{};
        const bool shorts = dec.FitsSixteenBits();
        sampleSpec.format = shorts ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
        sampleSpec.rate = static_cast<uint32_t>(dec.SampleRate());
        sampleSpec.channels = static_cast<uint8_t>(dec.Channels());
        Stream* s = StreamFor(sampleSpec);
        if (s == nullptr) {
            return;
        }

        // The sound goes to the server in pieces of a second, whole for a word piece; a long
        // file is held at most a few seconds ahead of what is playing.
        const std::size_t frameBytes = pa_frame_size(&sampleSpec);
        const int64_t chunkFrames = sampleSpec.rate;
        std::vector<char> buffer;
        const bool dry = s->queuedUntil < Now();
        if (dry) {
            s->runBytes = 0;
        }
        bool lead = serverRewinds && sinkIdle && dry;
        for (;;) {
            buffer.resize(static_cast<std::size_t>(chunkFrames) * frameBytes);
            const int64_t got =
                shorts ? dec.ReadShorts(reinterpret_cast<int16_t*>(buffer.data()), chunkFrames)
                       : dec.ReadFloats(reinterpret_cast<float*>(buffer.data()), chunkFrames);
            if (got <= 0) {
                break;
            }
            buffer.resize(static_cast<std::size_t>(got) * frameBytes);
            // The lead goes out with the sound in one write, right after the timing answer.
            if (lead && !UpdateTiming(s)) {
                return;
            }
            {
                Locked lock(loop);
                if (lead) {
                    buffer.insert(buffer.begin(), RewindLeadBytes(s), 0);
                    lead = false;
                }
                s->runBytes += buffer.size();
                if (pa_stream_get_state(s->stream) != PA_STREAM_READY ||
                    pa_stream_write(s->stream, buffer.data(), buffer.size(), nullptr, 0,
                                    PA_SEEK_RELATIVE) < 0) {
                    qCDebug(lcPlayer) << "write failed";
                    GiveUp(PlayFailure::ServerLost);
                    return;
                }
            }
            const double seconds = static_cast<double>(got) / sampleSpec.rate;
            s->queuedUntil = std::max(s->queuedUntil, Now()) + seconds;
            const double ahead = s->queuedUntil - Now();
            if (ahead > 3.0) {
                Sleep(ahead - 2.0);
            }
        }
        WaitUntilNearlyPlayed(s);
    }

    // Returns once what is left to play is within returnAhead of the end. The end is timed by
    // our own clock from one latency answer taken while the stream plays: once a stream has
    // run dry its latency stays at the sink's latency rather than falling to zero, so asking
    // near the end would not do.
    //
    // A stream that has not started yet (new, or dry before this sound) plays only after what
    // the sink holds ahead of its output, unless the server rewinds over it; its latency counts
    // neither. On an idle sink that renders seconds ahead and rewinds little, a sentence's end
    // would be expected seconds early, and the pause after it swallowed. So the player asks
    // again until the stream plays, for at most as long as the sink's hold and the run take.
    void WaitUntilNearlyPlayed(Stream* s) {
        if (!UpdateTiming(s)) {
            return;
        }
        double end = 0;
        double bound = 0; // when the run will have played at the latest
        for (;;) {
            pa_usec_t latency = 0;
            int negative = 0;
            bool playing = false;
            double latest = 0;
            {
                Locked lock(loop);
                const pa_timing_info* t = pa_stream_get_timing_info(s->stream);
                if (pa_stream_get_latency(s->stream, &latency, &negative) < 0 || negative != 0) {
                    latency = 0;
                }
                if (t != nullptr) {
                    playing = t->playing != 0;
                    s->sinkAhead = static_cast<double>(t->sink_usec) / 1e6;
                    latest =
                        s->sinkAhead +
                        static_cast<double>(pa_bytes_to_usec(s->runBytes, &s->sampleSpec)) / 1e6;
                }
            }
            // Bounded, should the server report nonsense.
            end = Now() + std::min(static_cast<double>(latency) / 1e6, 5.0);
            if (playing || latest <= static_cast<double>(latency) / 1e6) {
                break;
            }
            if (bound == 0) {
                bound = Now() + std::min(latest, 5.0);
            }
            if (Now() + options.startPoll >= bound - options.returnAhead) {
                end = bound;
                break;
            }
            Sleep(options.startPoll);
            if (!UpdateTiming(s)) {
                return;
            }
        }
        s->queuedUntil = end;
        s->lastUsed = end;
        const double wait = end - options.returnAhead - Now();
        if (wait > 0) {
            Sleep(wait);
        }
    }
};

PulsePlayer::Refusal PulsePlayer::Refuses(const SoundDecoder& dec) {
    if (!dec.Ok()) {
        return Refusal::NotDecoded;
    }
    if (dec.SampleRate() < MinRate || dec.SampleRate() > MaxRate) {
        return Refusal::Rate;
    }
    if (dec.Channels() < 1 || dec.Channels() > MaxChannels) {
        return Refusal::Channels;
    }
    pa_sample_spec wanted{};
    wanted.format = dec.FitsSixteenBits() ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
    wanted.rate = static_cast<uint32_t>(dec.SampleRate());
    wanted.channels = static_cast<uint8_t>(dec.Channels());
    if (pa_sample_spec_valid(&wanted) == 0) {
        return Refusal::Rate;
    }
    if (static_cast<double>(pa_bytes_per_second(&wanted)) > MaxBytesPerSecond) {
        return Refusal::DataRate;
    }
    if (static_cast<double>(dec.Frames()) / dec.SampleRate() > MaxSeconds) {
        return Refusal::Length;
    }
    return Refusal::None;
}

PulsePlayer::PulsePlayer() : PulsePlayer(Options{}) {}

PulsePlayer::PulsePlayer(Options options) : d(std::make_unique<Impl>(std::move(options))) {}

PulsePlayer::~PulsePlayer() = default;

void PulsePlayer::PlayImage(const QByteArray& wav) {
    SoundDecoder dec = SoundDecoder::OpenImage(wav);
    d->Play(dec);
}

void PulsePlayer::PlayFile(const std::string& path) {
    SoundDecoder dec = SoundDecoder::OpenFile(path);
    d->Play(dec);
}

void PulsePlayer::Drain() {
    if (d->loop == nullptr) {
        return;
    }
    if (d->current != nullptr) {
        d->DrainStream(d->current);
    }
    Locked lock(d->loop);
    d->CloseAll();
}

void PulsePlayer::ConnectAhead() {
    d->ConnectAhead();
}

PlayFailure PulsePlayer::FirstFailure() const {
    return d->firstFailure;
}

void PulsePlayer::BeginAnnouncement() {
    if (d->loop != nullptr) {
        Locked lock(d->loop);
        d->announcementFailure = PlayFailure::None;
    } else {
        d->announcementFailure = PlayFailure::None;
    }
}

PlayFailure PulsePlayer::AnnouncementFailure() const {
    return d->announcementFailure;
}
