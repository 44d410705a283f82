// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlayTiming.h"
#include "PulsePlayer.h"

#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>
#include <memory>
#include <vector>

class PulseConnection;
class SoundDecoder;

// The playback streams on one connection, one per sample format, kept open between sounds:
// opened, written at the pace of playing, timed and drained. Every field here belongs to the
// caller's thread; calls into a pa_stream are made under the loop's lock.
class PulseStreams {
public:
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

    // The streams close whenever the connection is dropped.
    PulseStreams(PulseConnection& connection, const PulsePlayer::Options& options);
    ~PulseStreams();
    PulseStreams(const PulseStreams&) = delete;
    PulseStreams& operator=(const PulseStreams&) = delete;

    // The stream for sampleSpec on a ready connection, after what the previous stream holds
    // has been played; nullptr after a failure.
    Stream* For(const pa_sample_spec& sampleSpec);
    // Writes the decoded sound (as shorts or floats) and returns once it is nearly played.
    void Play(Stream* s, SoundDecoder& dec, bool shorts);
    // Plays out what the last stream written holds, then closes all.
    void DrainAll();
    // Closes every stream; loop lock.
    void CloseAll();

private:
    Stream* Open(const pa_sample_spec& sampleSpec);
    bool AwaitOpen(Stream* opened);
    bool Drain(Stream* s);
    void Close(Stream* s);
    void CloseIdle();
    bool Write(Stream* s, std::vector<char>& buffer, bool lead);
    bool UpdateTiming(Stream* s);
    TimingSnapshot Snapshot(Stream* s);
    void WaitUntilNearlyPlayed(Stream* s);

    PulseConnection& connection_;
    const PulsePlayer::Options& options_;
    std::vector<std::unique_ptr<Stream>> streams_; // open streams, one per sample format
    Stream* current_ = nullptr;                    // the stream written last
};
