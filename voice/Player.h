// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <string>

// Plays sounds synchronously: a call returns when the sound has (all but) played, so that
// consecutive calls flow like one recording. Failures are silent.
class Player {
public:
    virtual ~Player() = default;
    // A complete WAV image in memory.
    virtual void PlayImage(const QByteArray& wav) = 0;
    // A sound file, in any format the decoder reads.
    virtual void PlayFile(const std::string& path) = 0;
    // Wait until everything written so far has been heard (end of an announcement).
    virtual void Drain() {}
};
