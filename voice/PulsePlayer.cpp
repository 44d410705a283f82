// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulsePlayer.h"

#include "PlayTiming.h"
#include "PulseConnection.h"
#include "SoundDecoder.h"

#include <pulse/timeval.h>

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <deque>
#include <thread>
#include <utility>
#include <vector>

Q_LOGGING_CATEGORY(lcPlayer, "tikkaru.player", QtInfoMsg)

namespace {

using Locked = PulseConnection::Locked;
constexpr auto Now = &PulseConnection::Now;

// One thing for the player's thread to do, in the order handed over.
struct Auftrag {
    enum Art { Bild, Datei, Stille, Leeren, Verbinden, BereiteBild, BereiteDatei, Aufraeumen } art;
    QByteArray wav;
    std::string path;
    Meldung meldung;
    std::function<void(PlayFailure)> fertig;
    double seconds = 0; // of a pause (Stille)
};

} // namespace

// The player's thread and the playback streams on the connection, one per sample format, kept
// open between sounds: opened, written at the pace of playing, timed and drained. Every field
// here belongs to the player's thread but the queue (mutex_); calls into a pa_stream are made
// under the loop's lock.
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
    Postfach& bote;                               // lives on the thread the reports go to
    std::vector<std::unique_ptr<Stream>> streams; // open streams, one per sample format
    Stream* current = nullptr;                    // the stream written last
    // Made after the streams and gone before them: dropping the context closes them.
    PulseConnection connection{options};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Auftrag> queue_; // mutex_
    bool stop_ = false;         // mutex_
    std::thread thread_;        // last: starts once everything above is made

    Impl(Options o, Postfach& b) : options(std::move(o)), bote(b) {
        connection.OnDrop([this] { CloseAll(); });
        thread_ = std::thread([this] { Run(); });
    }
    ~Impl() {
        {
            std::lock_guard<std::mutex> g(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        // A sound being played out, or a server that is slow to answer, is not waited for.
        connection.Abort();
        thread_.join();
    }

    void Give(Auftrag a) {
        bote.Hoere();
        {
            std::lock_guard<std::mutex> g(mutex_);
            queue_.push_back(std::move(a));
        }
        wake_.notify_all();
    }

    // Sleeps, or less when the player is going away. In slices of a relative sleep: a timed
    // wait on a condition would take its end from the clock, which a faked time of day (as
    // faketime makes) can move.
    void Sleep(double seconds) {
        const double end = Now() + seconds;
        for (double left = seconds; left > 0; left = end - Now()) {
            {
                std::lock_guard<std::mutex> g(mutex_);
                if (stop_) {
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::duration<double>(std::min(left, 0.02)));
        }
    }

    // Runs f on the reports' thread at the monotonic time at (at once when that has passed).
    void Report(double at, std::function<void()> f) {
        if (!f) {
            return;
        }
        bote.Schicke([this, at, f = std::move(f)] {
            const double wait = at - Now();
            if (wait < 0.0005) {
                f();
            } else {
                QTimer::singleShot(static_cast<int>(std::lround(wait * 1000)), Qt::PreciseTimer,
                                   &bote, f);
            }
        });
    }

    void Run() {
        for (;;) {
            Auftrag a;
            {
                std::unique_lock<std::mutex> g(mutex_);
                wake_.wait(g, [this] { return stop_ || !queue_.empty(); });
                if (stop_) {
                    return;
                }
                a = std::move(queue_.front());
                queue_.pop_front();
            }
            switch (a.art) {
            case Auftrag::Bild:
            case Auftrag::Datei:
            case Auftrag::Stille: {
                connection.TakeFailure();
                // A pause kept by the clock is over at its end: nothing is written ahead.
                bool timed = false;
                const double ende =
                    a.art == Auftrag::Stille
                        ? Pause(a.seconds, std::move(a.meldung.Gehoert), timed)
                        : Play(a.art == Auftrag::Bild ? SoundDecoder::OpenImage(a.wav)
                                                      : SoundDecoder::OpenFile(a.path),
                               std::move(a.meldung.Gehoert));
                if (a.meldung.FastVorbei) {
                    Report(timed ? ende : ende - options.nearlyOver,
                           [f = std::move(a.meldung.FastVorbei), ende,
                            fehler = connection.TakeFailure()] { f(ende, fehler); });
                }
                break;
            }
            case Auftrag::Leeren:
                connection.TakeFailure();
                if (connection.Started()) {
                    if (current != nullptr) {
                        DrainStream(current);
                    }
                    Locked lock(connection);
                    CloseAll();
                }
                if (a.fertig) {
                    Report(0, [f = std::move(a.fertig), fehler = connection.TakeFailure()] {
                        f(fehler);
                    });
                }
                break;
            case Auftrag::Verbinden:
                connection.ConnectAhead();
                break;
            case Auftrag::BereiteBild:
            case Auftrag::BereiteDatei:
                Prepare(a.art == Auftrag::BereiteBild ? SoundDecoder::OpenImage(a.wav)
                                                      : SoundDecoder::OpenFile(a.path));
                break;
            case Auftrag::Aufraeumen:
                if (connection.Started()) {
                    CloseIdle(true);
                }
                break;
            }
        }
    }

    // Loop lock.
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

    // Asks for a playback stream for sampleSpec on the ready connection.
    Stream* Open(const pa_sample_spec& sampleSpec) {
        Locked lock(connection);
        // Whether other streams keep the sink running: then a new stream of ours joins without
        // a rewind and needs no lead (see RewindLeadBytes). Answered while the stream opens.
        connection.AskSinkAhead();
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, options.mediaRole.c_str());
        pa_proplist_sets(props, PA_PROP_MEDIA_NAME, "Ansage");
        pa_stream* stream = pa_stream_new_with_proplist(connection.Context(), "Ansage", &sampleSpec,
                                                        nullptr, props);
        pa_proplist_free(props);
        if (stream == nullptr) {
            connection.GiveUp(PlayFailure::ServerLost);
            return nullptr;
        }
        streams.push_back(std::make_unique<Stream>(Stream{sampleSpec, stream}));
        pa_stream_set_state_callback(stream, &PulseConnection::OnStreamState, &connection);
        // Start as soon as there is anything to play (one frame), also after a pause.
        const auto frame = static_cast<uint32_t>(pa_frame_size(&sampleSpec));
        const auto any = static_cast<uint32_t>(-1);
        const uint32_t target =
            (static_cast<uint32_t>(options.bufferSeconds * sampleSpec.rate) + 1) * frame;
        const pa_buffer_attr attr{any, target, frame, any, any};
        const char* sink = options.sink.empty() ? nullptr : options.sink.c_str();
        if (pa_stream_connect_playback(stream, sink, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0) {
            connection.GiveUp(PlayFailure::ServerLost);
            return nullptr;
        }
        return streams.back().get();
    }

    // Waits for a stream just opened to be ready, and for the sink's state (each bounded by
    // connectTimeout).
    bool AwaitOpen(Stream* opened) {
        const bool answered = connection.WaitFor(
            [&] {
                const pa_stream_state_t state = pa_stream_get_state(opened->stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            Now() + options.connectTimeout);
        {
            Locked lock(connection);
            if (pa_stream_get_state(opened->stream) != PA_STREAM_READY) {
                connection.GiveUp(answered ? PlayFailure::ServerLost : PlayFailure::ServerSilent,
                                  answered ? "no stream" : "stream not opened in time");
                return false;
            }
            opened->lastUsed = Now();
        }
        return connection.AwaitSink();
    }

    // Plays out what the stream holds; false when that failed (and the connection is gone).
    bool DrainStream(Stream* s) {
        // The drain is answered once the sink has played what it holds ahead, too: on an idle
        // sink that may be seconds.
        const double deadline =
            std::max(s->queuedUntil, Now()) + std::min(s->sinkAhead, 5.0) + options.answerTimeout;
        const bool answered = connection.Request(
            [&] { return pa_stream_drain(s->stream, &PulseConnection::OnSuccess, &connection); },
            s->stream, deadline);
        Locked lock(connection);
        if (!answered || !connection.Succeeded()) {
            connection.GiveUpOn(s->stream, "drain failed");
            return false;
        }
        s->lastUsed = Now();
        return true;
    }

    // A stream left idle for long is closed: an open stream keeps the server busy. The one
    // written last is kept, unless withCurrent and it is silent.
    void CloseIdle(bool withCurrent = false) {
        const double now = Now();
        Locked lock(connection);
        for (std::size_t i = streams.size(); i-- > 0;) {
            Stream* s = streams[i].get();
            const bool kept = s == current && !(withCurrent && s->queuedUntil < now);
            if (!kept && now - s->lastUsed > options.idleClose) {
                Close(s);
            }
        }
    }

    // Connects and opens the stream the sound would play on, and writes nothing: the sound
    // that comes then starts without waiting for either. Nothing is done while a stream is in
    // use. A stream that stays unused is closed after idleClose.
    void Prepare(SoundDecoder&& dec) {
        if (current != nullptr || !Playable(dec)) {
            return;
        }
        Stream* s = StreamFor(FormatOf(dec));
        if (s == nullptr) {
            return;
        }
        s->lastUsed = Now();
        Report(Now() + options.idleClose + 0.1, [this] {
            Give({Auftrag::Aufraeumen, {}, {}, {}, {}});
        });
    }

    static pa_sample_spec FormatOf(const SoundDecoder& dec) {
        return {dec.FitsSixteenBits() ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE,
                static_cast<uint32_t>(dec.SampleRate()), static_cast<uint8_t>(dec.Channels())};
    }

    // The stream for sampleSpec on a ready connection, after what the previous stream holds
    // has been played; nullptr after a failure.
    Stream* StreamFor(const pa_sample_spec& sampleSpec) {
        if (!connection.Connect()) {
            return nullptr;
        }
        if (current != nullptr && pa_sample_spec_equal(&current->sampleSpec, &sampleSpec)) {
            return current;
        }
        if (current != nullptr && current->queuedUntil == 0) {
            // Opened ahead for a sound of another format, and never written.
            Locked lock(connection);
            Close(current);
        } else if (current != nullptr && !DrainStream(current)) {
            // The previous sound ends before this one starts on another stream.
            return nullptr;
        }
        current = nullptr;
        CloseIdle();
        for (const auto& s : streams) {
            if (pa_sample_spec_equal(&s->sampleSpec, &sampleSpec)) {
                return current = s.get();
            }
        }
        Stream* opened = Open(sampleSpec);
        return current = opened != nullptr && AwaitOpen(opened) ? opened : nullptr;
    }

    // Asks the server for the stream's timing; false (and the connection given up) when no
    // answer comes in time.
    bool UpdateTiming(Stream* s) {
        const auto ask = [&] {
            return pa_stream_update_timing_info(s->stream, &PulseConnection::OnSuccess,
                                                &connection);
        };
        if (connection.Request(ask, s->stream, Now() + options.answerTimeout)) {
            return true;
        }
        Locked lock(connection);
        connection.GiveUpOn(s->stream, "no timing from the server");
        return false;
    }

    // The last timing answer; loop lock.
    static TimingSnapshot Snapshot(const Stream* s) {
        TimingSnapshot snap;
        snap.rate = static_cast<int>(s->sampleSpec.rate);
        snap.frameBytes = pa_frame_size(&s->sampleSpec);
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(s->stream, &latency, &negative) == 0 && negative == 0) {
            snap.latencyUsec = latency;
        }
        if (const pa_timing_info* t = pa_stream_get_timing_info(s->stream)) {
            timeval now{};
            pa_gettimeofday(&now);
            snap.known = true;
            snap.playing = t->playing != 0;
            snap.sinkUsec = t->sink_usec;
            snap.configuredUsec = t->configured_sink_usec;
            snap.ageUsec = pa_timeval_diff(&now, &t->timestamp);
            snap.sinceUnderrun = t->since_underrun;
        }
        return snap;
    }

    // One write of a piece of the sound; false when it failed (and the connection is gone).
    // The lead goes out with the sound in one write, right after the timing answer.
    bool Write(Stream* s, std::vector<char>& buffer, bool lead) {
        if (lead && !UpdateTiming(s)) {
            return false;
        }
        Locked lock(connection);
        if (lead) {
            buffer.insert(buffer.begin(), RewindLeadBytes(Snapshot(s)), 0);
        }
        s->runBytes += buffer.size();
        if (pa_stream_get_state(s->stream) != PA_STREAM_READY ||
            pa_stream_write(s->stream, buffer.data(), buffer.size(), nullptr, 0, PA_SEEK_RELATIVE) <
                0) {
            connection.GiveUp(PlayFailure::ServerLost, "write failed");
            return false;
        }
        return true;
    }

    // Writes the sound (see WriteSound). A sound that could not be played ends now, unheard.
    double Play(SoundDecoder&& dec, std::function<void()> gehoert) {
        if (!Playable(dec)) {
            qCDebug(lcPlayer) << "not playable:" << dec.Error().c_str() << dec.SampleRate() << "Hz"
                              << dec.Channels() << "channels";
            connection.Fail(PlayFailure::Undecodable);
            return Now();
        }
        const bool shorts = dec.FitsSixteenBits();
        const pa_sample_spec format = FormatOf(dec);
        Stream* s = StreamFor(format);
        if (s == nullptr) {
            return Now();
        }
        return WriteSound(
            s,
            [&](char* into, int64_t frames) {
                return shorts ? dec.ReadShorts(reinterpret_cast<int16_t*>(into), frames)
                              : dec.ReadFloats(reinterpret_cast<float*>(into), frames);
            },
            std::move(gehoert));
    }

    // A pause: silence written into the stream that plays the sound before it, so that the
    // stream plays on through it and what follows starts on the stream's own pace, not when a
    // stream run dry is started again (on PipeWire a whole quantum late). Where no stream
    // plays, the pause is kept by the clock from now.
    double Pause(double seconds, std::function<void()> gehoert, bool& timed) {
        Stream* s = current;
        if (s == nullptr || s->queuedUntil < Now() || !connection.Started()) {
            timed = true;
            Report(Now(), std::move(gehoert));
            return Now() + seconds;
        }
        int64_t left = std::llround(seconds * s->sampleSpec.rate);
        const std::size_t frameBytes = pa_frame_size(&s->sampleSpec);
        return WriteSound(
            s,
            [&](char* into, int64_t frames) {
                const int64_t n = std::min(frames, left);
                // Zero bits are silence in both sample formats.
                std::fill_n(into, static_cast<std::size_t>(n) * frameBytes, 0);
                left -= n;
                return n;
            },
            std::move(gehoert));
    }

    // Writes what read gives (frames into a buffer; 0 at the end) and returns when it will have
    // been played, once the server's timing tells; gehoert is reported for when it starts to
    // be heard. Now when it could not be written.
    template <class Read> double WriteSound(Stream* s, Read read, std::function<void()> gehoert) {
        const pa_sample_spec& format = s->sampleSpec;
        // The sound goes to the server in pieces of a second, whole for a word piece; a long
        // file is held at most a few seconds ahead of what is playing.
        const std::size_t frameBytes = pa_frame_size(&format);
        const int64_t chunkFrames = format.rate;
        std::vector<char> buffer;
        const bool dry = s->queuedUntil < Now();
        if (dry) {
            s->runBytes = 0;
        }
        // Where other streams keep the sink running, a stream of ours joins without a rewind
        // and a lead would only be heard as a delay: there is none then.
        bool lead = dry && connection.SinkRewinds();
        int64_t frames = 0;
        for (;;) {
            buffer.resize(static_cast<std::size_t>(chunkFrames) * frameBytes);
            const int64_t got = read(buffer.data(), chunkFrames);
            if (got <= 0) {
                break;
            }
            buffer.resize(static_cast<std::size_t>(got) * frameBytes);
            if (!Write(s, buffer, std::exchange(lead, false))) {
                return Now();
            }
            frames += got;
            s->queuedUntil =
                std::max(s->queuedUntil, Now()) + static_cast<double>(got) / format.rate;
            if (const double ahead = s->queuedUntil - Now(); ahead > 3.0) {
                Sleep(ahead - 2.0);
            }
        }
        const double ende = ExpectedEnd(s);
        if (ende > 0) {
            // The sound is the last one written: it is heard from its length before the end.
            Report(ende - static_cast<double>(frames) / format.rate, std::move(gehoert));
        }
        return ende > 0 ? ende : Now();
    }

    // When what the stream holds will have been played, from the server's timing (see
    // ExpectEnd); 0 when the server did not answer.
    double ExpectedEnd(Stream* s) {
        PlayEnd e;
        while (!e.done) {
            // After the first look that did not know the end, the next one after startPoll.
            if (e.bound != 0) {
                Sleep(options.startPoll);
            }
            if (!UpdateTiming(s)) {
                return 0;
            }
            TimingSnapshot snap;
            {
                Locked lock(connection);
                snap = Snapshot(s);
            }
            if (snap.known) {
                s->sinkAhead = static_cast<double>(snap.sinkUsec) / 1e6;
            }
            e = ExpectEnd(snap, s->runBytes, Now(), e.bound, options.startPoll, options.nearlyOver);
        }
        s->queuedUntil = e.end;
        s->lastUsed = e.end;
        return e.end;
    }
};

PulsePlayer::PulsePlayer() : PulsePlayer(Options{}) {}

namespace {
PulsePlayer::Options MitSink(PulsePlayer::Options o) {
    if (const char* sink = std::getenv("PULSE_SINK"); o.sink.empty() && sink != nullptr) {
        o.sink = sink;
    }
    return o;
}
} // namespace

PulsePlayer::PulsePlayer(Options options) : options_(MitSink(std::move(options))) {}

PulsePlayer::~PulsePlayer() = default;

PulsePlayer::Impl& PulsePlayer::Werk() {
    if (!d) {
        d = std::make_unique<Impl>(options_, bote_);
    }
    return *d;
}

void PulsePlayer::PlayImage(const QByteArray& wav, Meldung meldung) {
    Werk().Give({Auftrag::Bild, wav, {}, std::move(meldung), {}});
}

void PulsePlayer::PlayFile(const std::string& path, Meldung meldung) {
    Werk().Give({Auftrag::Datei, {}, path, std::move(meldung), {}});
}

void PulsePlayer::PlaySilence(double seconds, Meldung meldung) {
    Werk().Give({Auftrag::Stille, {}, {}, std::move(meldung), {}, seconds});
}

void PulsePlayer::PrepareImage(const QByteArray& wav) {
    Werk().Give({Auftrag::BereiteBild, wav, {}, {}, {}});
}

void PulsePlayer::PrepareFile(const std::string& path) {
    Werk().Give({Auftrag::BereiteDatei, {}, path, {}, {}});
}

void PulsePlayer::Drain(std::function<void(PlayFailure)> fertig) {
    Werk().Give({Auftrag::Leeren, {}, {}, {}, std::move(fertig)});
}

void PulsePlayer::ConnectAhead() {
    Werk().Give({Auftrag::Verbinden, {}, {}, {}, {}});
}
