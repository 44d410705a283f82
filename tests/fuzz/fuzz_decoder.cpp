// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding as the player does it, of any bytes: as a built-in image through libsndfile's
// virtual I/O and as a file of the external voice. Both ways must agree on what they read.

#include "FuzzCheck.h"
#include "SoundDecoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Frames read at most per input, so that a header claiming hours of sound stays quick.
constexpr int64_t kMostFrames = 1 << 18;
constexpr int64_t kChunk = 4096;

// Reads what the player would read: 16-bit where the samples fit, float otherwise.
std::vector<float> ReadAll(SoundDecoder& d) {
    std::vector<float> all;
    if (!d.Ok()) {
        return all;
    }
    const auto channels = static_cast<std::size_t>(d.Channels());
    std::vector<int16_t> shorts(kChunk * channels);
    std::vector<float> floats(kChunk * channels);
    for (int64_t total = 0; total < kMostFrames;) {
        const int64_t got = d.FitsSixteenBits() ? d.ReadShorts(shorts.data(), kChunk)
                                                : d.ReadFloats(floats.data(), kChunk);
        if (got <= 0) {
            break;
        }
        Check(got <= kChunk);
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i) {
            all.push_back(d.FitsSixteenBits() ? shorts[i] : floats[i]);
        }
        total += got;
    }
    return all;
}

// Equal sample by sample, a NaN of a float file equal to a NaN.
bool Same(const std::vector<float>& a, const std::vector<float>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](float x, float y) { return x == y || (std::isnan(x) && std::isnan(y)); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz.wav", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    Check(fd >= 0);

    const QByteArray image(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    SoundDecoder fromImage = SoundDecoder::OpenImage(image);

    Check(ftruncate(fd, 0) == 0);
    Check(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    SoundDecoder fromFile = SoundDecoder::OpenFile(path);

    Check(fromImage.State() == fromFile.State() || size == 0);
    if (fromImage.Ok()) {
        Check(fromImage.Channels() > 0 && fromImage.Frames() > 0);
        Check(fromImage.SampleRate() == fromFile.SampleRate());
        Check(fromImage.Channels() == fromFile.Channels());
        Check(fromImage.Frames() == fromFile.Frames());
        Check(!fromImage.SampleFormat().empty());
        (void)Playable(fromImage);
        Check(Same(ReadAll(fromImage), ReadAll(fromFile)));
    } else {
        int16_t s[8];
        Check(fromImage.ReadShorts(s, 1) == 0);
    }
    return 0;
}
