// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The player's settings: its bounds, buffer and timing, and how the sound server shows it.
struct PulseOptions {
    // Longest wait for the sound server to accept a connection or a stream.
    double connectTimeout = 1.0;
    // Longest wait for any other answer of the server, beyond the sound still to play.
    double answerTimeout = 1.0;
    // After a failure, sounds are skipped for this long.
    double retryPause = 2.0;
    // Audio the server keeps buffered ahead of the sink (the stream's target length).
    double bufferSeconds = 0.050;
    // A sound is reported nearly over when this much of it is left to play: the next sound
    // must be handed over and written within it, or the sink plays a gap. Enough for an
    // event loop that answers late on a busy machine.
    double nearlyOver = 0.050;
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
    // The sink the sound goes to; empty: PULSE_SINK, read when the player is made (before
    // its threads run), else the server's default.
    std::string sink;
};
