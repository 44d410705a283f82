// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <memory>
#include <string>

// Plays sounds through the PulseAudio simple API (PulseAudio itself or PipeWire's pulse
// server), decoded by libsndfile at their own rate and channel count.
//
// Consecutive sounds flow like one recording: the connection and stream stay open between
// sounds of the same sample format, the buffer is small, and a call returns once what is left
// of its sound is within a few milliseconds of the end, so that the next sound is queued
// before this one falls silent. A sound in another sample format starts on its own stream once
// the previous sound has ended. Drain() plays out what was written and closes the streams.
//
// Every failure is silence and a normal return: no sound server, a server that refuses or
// does not answer in time, one that dies while playing, a file that cannot be decoded. A
// connection attempt is bounded by a timeout; after a failed one the next attempt is made at
// a later sound, once the retry pause has passed. Nothing is written to stdout or stderr; the
// logging category "tikkaru.player" (off by default) tells what happened.
class PulsePlayer final : public Player {
public:
    struct Options {
        // Longest wait for the sound server to answer a connection attempt.
        double connectTimeout = 1.0;
        // After a failed connection attempt, sounds are skipped for this long.
        double retryPause = 2.0;
        // Audio buffered ahead in the server (the stream's target length).
        double bufferSeconds = 0.050;
        // A call returns when this much of its sound is left to play.
        double returnAhead = 0.005;
        // Streams whose last sound ended longer ago than this are closed at the next call.
        double idleClose = 5.0;
        // The client name the server shows.
        std::string appName = "Quorvane Tikkaru";
    };

    PulsePlayer();
    explicit PulsePlayer(Options options);
    ~PulsePlayer() override;
    PulsePlayer(const PulsePlayer&) = delete;
    PulsePlayer& operator=(const PulsePlayer&) = delete;

    void PlayImage(const QByteArray& wav) override;
    void PlayFile(const std::string& path) override;
    // Waits until everything written has been heard, then closes the streams.
    void Drain() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
