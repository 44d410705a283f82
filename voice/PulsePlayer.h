// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"
#include "Postfach.h"
#include "PulseOptions.h"

#include <QObject>

#include <memory>
#include <string>

// Plays sounds through PulseAudio's asynchronous API on a threaded main loop (PulseAudio
// itself or PipeWire's pulse server), decoded by libsndfile at their own rate and channel
// count.
//
// Every call returns at once: the sounds go to a thread of the player's own, which decodes
// them, writes them and asks the server how far its stream has played. From the stream's own
// timing (what it has played and its latency) the player tells the calling thread, through its
// event loop, when each sound starts to be heard and when it is nearly over; a sound handed
// over then is written before the last one ends, so that consecutive sounds flow like one
// recording. The connection stays open, a stream stays open between sounds of the same sample
// format; a sound in another sample format starts on its own stream once the previous sound
// has ended. Drain() plays out what was written and closes the streams. PrepareImage() and
// PrepareFile() connect and open a sound's stream ahead of it, for a sound that must start on
// the dot; a stream so opened and not used within idleClose is closed.
//
// No wait on the server is without a bound: connecting, opening a stream and every answer the
// player waits for give up after a timeout, and all waiting is done on the player's thread.
// Every failure is silence, reported like a sound that ended: no sound server, one that
// refuses, stops answering or dies while playing, a sound that cannot be decoded. After a
// failure the connection is dropped and the next attempt is made at a later sound, once the
// retry pause has passed. Nothing is written to stdout or stderr; the logging category
// "tikkaru.player" (off by default) tells what happened. Sounds the decoder says are not
// Playable are not played.

class PulsePlayer final : public Player {
public:
    using Options = PulseOptions;

    PulsePlayer();
    explicit PulsePlayer(Options options);
    ~PulsePlayer() override;

    // Starts connecting to the sound server, so that the connection is made while the caller
    // does other work. Without this call the connection is made at the first sound.
    void ConnectAhead();

    void PlayImage(const QByteArray& wav, Meldung meldung) override;
    void PlayFile(const std::string& path, Meldung meldung) override;
    // Written as silence into the running stream; where none runs (nothing played before it,
    // or it has played out), kept by the clock.
    bool PlaysSilence() const override { return true; }
    void PlaySilence(double seconds, Meldung meldung) override;
    // Connects and opens a stream in the sound's format; closed unless used within idleClose.
    void PrepareImage(const QByteArray& wav) override;
    void PrepareFile(const std::string& path) override;
    // Once everything written has been heard, closes the streams and calls fertig.
    void Drain(std::function<void(PlayFailure)> fertig) override;

private:
    struct Impl;
    // The player's thread and its connection, made at the first call: a window that only
    // hands over to a running clock, or never speaks, starts neither.
    Impl& Werk();
    // The reports are delivered through this object's thread, the one that made the player.
    Postfach bote_;
    Options options_; // read from the environment when the player is made, before threads
    std::unique_ptr<Impl> d;
};
