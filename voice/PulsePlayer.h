// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <memory>
#include <string>

// Plays sounds through PulseAudio's asynchronous API on a threaded main loop (PulseAudio
// itself or PipeWire's pulse server), decoded by libsndfile at their own rate and channel
// count.
//
// Consecutive sounds flow like one recording: the connection stays open, a stream stays open
// between sounds of the same sample format, each sound is handed to the server whole, and a
// call returns once what is left of its sound is within a few milliseconds of the end, so that
// the next sound is queued before this one falls silent. A sound in another sample format
// starts on its own stream once the previous sound has ended. Drain() plays out what was
// written and closes the streams.
//
// No call waits on the server without a bound: connecting, opening a stream and every answer
// the player waits for give up after a timeout, so a server that stops answering costs the
// caller at most the sound plus that timeout. Every failure is silence and a normal return: no
// sound server, one that refuses, stops answering or dies while playing, a sound that cannot
// be decoded. After a failure the connection is dropped and the next attempt is made at a
// later sound, once the retry pause has passed. Nothing is written to stdout or stderr; the
// logging category "tikkaru.player" (off by default) tells what happened. Sounds the decoder
// says are not Playable are not played.

class PulsePlayer final : public Player {
public:
    struct Options {
        // Longest wait for the sound server to accept a connection or a stream.
        double connectTimeout = 1.0;
        // Longest wait for any other answer of the server, beyond the sound still to play.
        double answerTimeout = 1.0;
        // After a failure, sounds are skipped for this long.
        double retryPause = 2.0;
        // Audio the server keeps buffered ahead of the sink (the stream's target length).
        double bufferSeconds = 0.050;
        // A call returns when this much of its sound is left to play: the next sound must be
        // written within it, or the sink plays a gap. Enough for a process woken late on a
        // busy machine; the highlight of the next piece comes this much early.
        double returnAhead = 0.025;
        // How often the server is asked whether a stream that has not started plays yet.
        double startPoll = 0.010;
        // Streams whose last sound ended longer ago than this are closed at the next call.
        double idleClose = 5.0;
        // The client name the server shows, and the icon mixers show beside it (the installed
        // icon's name).
        std::string appName = "Quorvane Tikkaru";
        std::string iconName = "de.quorvane.tikkaru";
        // The streams' role: a spoken time is an accessibility aid like a screen reader's
        // speech, so it is routed and ducked like one, and not silenced with event sounds.
        std::string mediaRole = "a11y";
    };

    PulsePlayer();
    explicit PulsePlayer(Options options);
    ~PulsePlayer() override;

    // Starts connecting to the sound server and returns at once, so that the connection is
    // made while the caller does other work; the first sound waits for the rest of it (within
    // the usual bound). Without this call the connection is made at the first sound.
    void ConnectAhead();

    void PlayImage(const QByteArray& wav) override;
    void PlayFile(const std::string& path) override;
    // Waits until everything written has been heard, then closes the streams.
    void Drain() override;
    double LeftToPlay() const override;
    PlayFailure FirstFailure() const override;
    void BeginAnnouncement() override;
    PlayFailure AnnouncementFailure() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
