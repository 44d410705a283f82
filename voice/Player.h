// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <string>

// Why a sound was not heard in full.
enum class PlayFailure {
    None,
    NoServer,     // no sound server to connect to, or it refused the connection
    ServerSilent, // the sound server stopped answering
    ServerLost,   // the connection broke off while playing
    Undecodable,  // the sound could not be decoded or has a format no server takes
};

// Plays sounds synchronously: a call returns when the sound has (all but) played, so that
// consecutive calls flow like one recording. Failures are silent; the first one is kept, so
// that a caller that must know whether everything was heard can ask afterwards.
class Player {
public:
    virtual ~Player() = default;
    // A complete WAV image in memory.
    virtual void PlayImage(const QByteArray& wav) = 0;
    // A sound file, in any format the decoder reads.
    virtual void PlayFile(const std::string& path) = 0;
    // Wait until everything written so far has been heard (end of an announcement).
    virtual void Drain() {}
    // Seconds of what was written still to be heard: a call may return a little before its
    // sound ends, so that a pause after it starts from here.
    virtual double LeftToPlay() const { return 0; }
    // The first failure since the player was made.
    virtual PlayFailure FirstFailure() const { return PlayFailure::None; }
    // Starts a new announcement: AnnouncementFailure then tells the first failure after this
    // call, so that a clock that runs for days can say whether one announcement was heard.
    virtual void BeginAnnouncement() {}
    // The first failure since BeginAnnouncement (since the player was made before the first).
    virtual PlayFailure AnnouncementFailure() const { return FirstFailure(); }
};
