// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayTiming.h"

#include <algorithm>

namespace {

// Whole frames, as the sound server converts.
uint64_t Usec(uint64_t bytes, const TimingSnapshot& t) {
    return t.frameBytes == 0 || t.rate <= 0 ? 0 : bytes / t.frameBytes * 1000000 / t.rate;
}

std::size_t Bytes(uint64_t usec, const TimingSnapshot& t) {
    return static_cast<std::size_t>(usec * static_cast<uint64_t>(t.rate) / 1000000) * t.frameBytes;
}

} // namespace

// A stream that is new or has run dry is in underrun: when data arrives, the server rewinds
// the sink by as much as the stream has been dry (all it can for a new stream) and renders
// that part again, so that the sound starts at once and no gap is left. A monitor of the sink
// (a recorder, a network or combined sink) has passed that part on already and would lose the
// start of the sound. Silence of just the rewound length in front of the sound is what the
// rewind takes instead; the sound still starts at once, and a pause before it keeps its
// length. The rewind reaches back over what the sink holds ahead: its latency from the last
// timing answer, less the time since; when that is nearly used up, the sink is about to render
// its next block, so the whole configured latency.
std::size_t RewindLeadBytes(const TimingSnapshot& t) {
    if (!t.known || t.playing) {
        return 0;
    }
    const uint64_t ahead =
        t.sinkUsec > t.ageUsec + 1000 ? t.sinkUsec - t.ageUsec : t.configuredUsec;
    uint64_t lead = std::min<uint64_t>(ahead, 500000);
    if (t.sinceUnderrun >= 0) {
        lead = std::min(lead, Usec(static_cast<uint64_t>(t.sinceUnderrun), t) + t.ageUsec);
    }
    return Bytes(lead, t);
}

// The end is timed by our own clock from one latency answer taken while the stream plays:
// once a stream has run dry its latency stays at the sink's latency rather than falling to
// zero, so asking near the end would not do.
//
// A stream that has not started yet (new, or dry before this sound) plays only after what the
// sink holds ahead of its output, unless the server rewinds over it; its latency counts
// neither. On an idle sink that renders seconds ahead and rewinds little, a sentence's end
// would be expected seconds early, and the pause after it swallowed. So the player asks again
// until the stream plays, for at most as long as the sink's hold and the run take.
PlayEnd ExpectEnd(const TimingSnapshot& t, uint64_t runBytes, double now, double bound,
                  double startPoll, double ahead) {
    const double latency = static_cast<double>(t.latencyUsec) / 1e6;
    const double latest = t.known ? static_cast<double>(t.sinkUsec + Usec(runBytes, t)) / 1e6 : 0;
    // Bounded, should the server report nonsense.
    const double end = now + std::min(latency, 5.0);
    if (t.playing || latest <= latency) {
        return {true, end, bound};
    }
    if (bound == 0) {
        bound = now + std::min(latest, 5.0);
    }
    if (now + startPoll >= bound - ahead) {
        return {true, bound, bound};
    }
    return {false, 0, bound};
}
