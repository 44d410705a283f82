// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulsePlayer.h"

#include "SoundDecoder.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
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

// ---- the sound server -------------------------------------------------------------------

bool SameSpec(const pa_sample_spec& a, const pa_sample_spec& b) {
    return a.format == b.format && a.rate == b.rate && a.channels == b.channels;
}

// Whether the sound server answers within timeout seconds. A bare connection of our own,
// without starting a server, so that a server that accepts the connection but never answers
// cannot hold us up the way a blocking connect would.
bool ServerAnswers(const std::string& appName, double timeout) {
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) {
        return false;
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), appName.c_str());
    bool ready = false;
    if (context != nullptr &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const double deadline = Now() + timeout;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state)) {
                qCDebug(lcPlayer) << "server refused:" << pa_strerror(pa_context_errno(context));
                break;
            }
            const double left = deadline - Now();
            if (left <= 0) {
                qCDebug(lcPlayer) << "server did not answer in time";
                break;
            }
            if (pa_mainloop_prepare(loop, static_cast<int>(left * 1e6) + 1) < 0 ||
                pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                break;
            }
        }
        pa_context_disconnect(context);
    }
    if (context != nullptr) {
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return ready;
}

} // namespace

struct PulsePlayer::Impl {
    struct Stream {
        pa_sample_spec sampleSpec{};
        pa_simple* simple = nullptr;
        double lastUsed = 0;

        Stream(const pa_sample_spec& s, pa_simple* p) : sampleSpec(s), simple(p), lastUsed(Now()) {}
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        ~Stream() { pa_simple_free(simple); }
    };

    Options options;
    std::vector<std::unique_ptr<Stream>> streams; // open streams, one per sample format
    Stream* current = nullptr;                    // the stream written last
    double nextAttempt = 0;                       // no connection attempt before this time

    explicit Impl(Options o) : options(std::move(o)) {}

    void Close(Stream* s) {
        if (s == current) {
            current = nullptr;
        }
        std::erase_if(streams, [s](const auto& p) { return p.get() == s; });
    }

    void CloseAll() {
        current = nullptr;
        streams.clear();
    }

    // Plays out what the stream holds; false when the stream failed (and is closed).
    bool DrainStream(Stream* s) {
        int error = 0;
        if (pa_simple_drain(s->simple, &error) < 0) {
            qCDebug(lcPlayer) << "drain failed:" << pa_strerror(error);
            Close(s);
            return false;
        }
        s->lastUsed = Now();
        return true;
    }

    // A stream left idle for long is closed: an open stream keeps the server busy.
    void CloseIdle() {
        const double now = Now();
        std::erase_if(streams, [&](const auto& p) {
            return p.get() != current && now - p->lastUsed > options.idleClose;
        });
    }

    Stream* Open(const pa_sample_spec& sampleSpec) {
        if (Now() < nextAttempt) {
            return nullptr;
        }
        // An open stream proves that the server is there; otherwise ask it first, bounded.
        if (streams.empty() && !ServerAnswers(options.appName, options.connectTimeout)) {
            nextAttempt = Now() + options.retryPause;
            return nullptr;
        }
        const std::size_t frame = pa_frame_size(&sampleSpec);
        const auto bytesFor = [&](double seconds) {
            const auto frames = static_cast<std::size_t>(seconds * sampleSpec.rate) + 1;
            return static_cast<uint32_t>(frames * frame);
        };
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = bytesFor(options.bufferSeconds);
        // Start as soon as there is anything to play, also after a pause.
        attr.prebuf = static_cast<uint32_t>(frame);
        attr.minreq = bytesFor(options.bufferSeconds / 4);
        attr.fragsize = static_cast<uint32_t>(-1);
        int error = 0;
        pa_simple* simple = pa_simple_new(nullptr, options.appName.c_str(), PA_STREAM_PLAYBACK,
                                          nullptr, "Ansage", &sampleSpec, nullptr, &attr, &error);
        if (simple == nullptr) {
            qCDebug(lcPlayer) << "no stream:" << pa_strerror(error);
            nextAttempt = Now() + options.retryPause;
            return nullptr;
        }
        streams.push_back(std::make_unique<Stream>(sampleSpec, simple));
        return streams.back().get();
    }

    // The stream for sampleSpec, after what the previous stream holds has been played.
    Stream* StreamFor(const pa_sample_spec& sampleSpec) {
        if (current != nullptr && SameSpec(current->sampleSpec, sampleSpec)) {
            return current;
        }
        if (current != nullptr) {
            // The previous sound ends before this one starts on another stream.
            DrainStream(current);
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

    void Play(SoundDecoder& dec) {
        if (!dec.playable()) {
            qCDebug(lcPlayer) << "not playable:" << dec.error().c_str() << dec.sampleRate() << "Hz"
                              << dec.channels() << "channels";
            return;
        }
        pa_sample_spec sampleSpec{};
        const bool shorts = dec.fitsSixteenBits();
        sampleSpec.format = shorts ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
        sampleSpec.rate = static_cast<uint32_t>(dec.sampleRate());
        sampleSpec.channels = static_cast<uint8_t>(dec.channels());
        Stream* s = StreamFor(sampleSpec);
        if (s == nullptr) {
            return;
        }

        const std::size_t frameBytes = pa_frame_size(&sampleSpec);
        constexpr int64_t chunkFrames = 4096;
        std::vector<char> buffer(static_cast<std::size_t>(chunkFrames) * frameBytes);
        for (;;) {
            const int64_t got =
                shorts ? dec.readShorts(reinterpret_cast<int16_t*>(buffer.data()), chunkFrames)
                       : dec.readFloats(reinterpret_cast<float*>(buffer.data()), chunkFrames);
            if (got <= 0) {
                break;
            }
            int error = 0;
            if (pa_simple_write(s->simple, buffer.data(),
                                static_cast<std::size_t>(got) * frameBytes, &error) < 0) {
                qCDebug(lcPlayer) << "write failed:" << pa_strerror(error);
                Close(s);
                return;
            }
        }
        WaitUntilNearlyPlayed(s);
    }

    // Returns once what is left to play is within returnAhead of the end. The server's latency
    // is read once, right after the last write, when at most a buffer's worth (plus the
    // sink's own latency) is left; the end is then timed by our own clock. Asking the server
    // again near the end would not do: once a stream has run dry its latency stays at the
    // sink's latency rather than falling to zero.
    void WaitUntilNearlyPlayed(Stream* s) {
        int error = 0;
        const pa_usec_t latency = pa_simple_get_latency(s->simple, &error);
        if (latency == static_cast<pa_usec_t>(-1)) {
            qCDebug(lcPlayer) << "latency unknown:" << pa_strerror(error);
            Close(s);
            return;
        }
        // Bounded, should the server report nonsense.
        const double left = std::min(static_cast<double>(latency) / 1e6, 2.0);
        const double end = Now() + left;
        s->lastUsed = end;
        const double wait = end - options.returnAhead - Now();
        if (wait > 0) {
            Sleep(wait);
        }
    }
};

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
    if (d->current != nullptr) {
        d->DrainStream(d->current);
    }
    d->CloseAll();
}
