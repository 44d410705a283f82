// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <functional>
#include <string>

// Why a sound was not heard in full.
enum class PlayFailure {
    None,
    NoServer,     // no sound server to connect to, or it refused the connection
    ServerSilent, // the sound server stopped answering
    ServerLost,   // the connection broke off while playing
    Undecodable,  // the sound could not be decoded or has a format no server takes
};

// What the player tells of one sound, on the thread that handed it over, from that thread's
// event loop: never from inside the call that hands it over.
struct Meldung {
    // The sound starts to be heard: its first sample leaves the sink, as far as the sound
    // server's timing tells. Not called for a sound that is not played.
    std::function<void()> Gehoert;
    // The sound is nearly over: a sound handed over now follows it without a gap. Ende is when
    // it ends, on the monotonic clock (Clock::MonotonicSeconds); Fehler why it was not heard in
    // full (None when it was). Called once for every sound, also for one that could not be
    // played (then Ende is the moment of the failure).
    std::function<void(double Ende, PlayFailure Fehler)> FastVorbei;
};

// Plays sounds one after another without making the caller wait: a call hands the sound over
// and returns at once, and the player reports when it is heard and when it is nearly over.
// Failures are silence; each report says whether its sound was heard in full.
class Player {
public:
    virtual ~Player() = default;
    // A complete WAV image in memory.
    virtual void PlayImage(const QByteArray& wav, Meldung meldung) = 0;
    // A sound file, in any format the decoder reads.
    virtual void PlayFile(const std::string& path, Meldung meldung) = 0;
    // A sound like this one is to be played soon, at a moment that matters (the full minute):
    // get ready for it now (connect, open what it plays on), so that it starts on time then.
    // Nothing is played. Readiness that is not used is given up after a while.
    virtual void PrepareImage(const QByteArray& /*wav*/) {}
    virtual void PrepareFile(const std::string& /*path*/) {}
    // Calls fertig (as the reports are called) once everything handed over so far has been
    // heard: the end of an announcement. Fehler: why playing it out failed (None when it did
    // not).
    virtual void Drain(std::function<void(PlayFailure Fehler)> fertig) = 0;
    // Whether PlaySilence plays a pause; a caller keeps the time of a pause itself otherwise.
    virtual bool PlaysSilence() const { return false; }
    // A pause of the given length after what was handed over, as silence in the stream that
    // plays it, reported like a sound: heard when the sound before it has ended, nearly over
    // just before what follows is due. What follows keeps the stream's pace, as if the pause
    // were part of one recording.
    virtual void PlaySilence(double /*seconds*/, Meldung /*meldung*/) {}
};
