// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// The numbers one timing answer of the sound server gives for a stream, taken under the
// loop's lock, and what the player makes of them: the silence to write in front of a sound
// and when the sound will have been played. Plain arithmetic, no server needed.
struct TimingSnapshot {
    bool known = false;          // the server has answered with timing at all
    bool playing = false;        // the stream plays (it is not new, nor run dry)
    uint64_t sinkUsec = 0;       // what the sink held ahead of its output
    uint64_t configuredUsec = 0; // the sink's configured latency
    uint64_t ageUsec = 0;        // time since the answer was taken
    int64_t sinceUnderrun = -1;  // bytes written since the stream ran dry; < 0 when unknown
    uint64_t latencyUsec = 0;    // the stream's latency; 0 when unknown or negative
    int rate = 0;                // the stream's frames per second
    std::size_t frameBytes = 0;  // and bytes per frame
};

// The silence (bytes) in front of a sound that takes the place of the rewind a new or dry
// stream causes; none while the stream plays.
std::size_t RewindLeadBytes(const TimingSnapshot& t);

// One look at whether the sound written is nearly played. done: the end is known, at end.
// Otherwise the caller asks the server again after startPoll; bound is when the run will have
// played at the latest (0 before the first look), carried from look to look.
struct PlayEnd {
    bool done = false;
    double end = 0;
    double bound = 0;
};
PlayEnd ExpectEnd(const TimingSnapshot& t, uint64_t runBytes, double now, double bound,
                  double startPoll, double ahead);
