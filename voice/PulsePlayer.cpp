// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulsePlayer.h"

#include "PulseConnection.h"
#include "PulseStreams.h"
#include "SoundDecoder.h"

struct PulsePlayer::Impl {
    Options options;
    PulseConnection connection{options};
    PulseStreams streams{connection, options};

    explicit Impl(Options o) : options(std::move(o)) {}

    void Play(SoundDecoder& dec) {
        if (!Playable(dec)) {
            qCDebug(lcPlayer) << "not playable:" << dec.Error().c_str() << dec.SampleRate() << "Hz"
                              << dec.Channels() << "channels";
            connection.Fail(PlayFailure::Undecodable);
            return;
        }
        pa_sample_spec sampleSpec{};
        const bool shorts = dec.FitsSixteenBits();
        sampleSpec.format = shorts ? PA_SAMPLE_S16NE : PA_SAMPLE_FLOAT32NE;
        sampleSpec.rate = static_cast<uint32_t>(dec.SampleRate());
        sampleSpec.channels = static_cast<uint8_t>(dec.Channels());
        if (PulseStreams::Stream* s = streams.For(sampleSpec)) {
            streams.Play(s, dec, shorts);
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
    d->streams.DrainAll();
}

void PulsePlayer::ConnectAhead() {
    d->connection.ConnectAhead();
}

PlayFailure PulsePlayer::FirstFailure() const {
    return d->connection.FirstFailure();
}
