// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>

// A sound read through libsndfile: the one way the program decodes recordings, both the
// built-in images and the files of the external voice. Every format that libsndfile reads is
// accepted (PCM of any width, float, ADPCM, u-law, A-law; any rate and channel count).
class SoundDecoder {
public:
    enum class Status {
        Ok,           // opened, with at least one frame of at least one channel
        NotOpened,    // no regular file that can be opened for reading
        NotDecodable, // opened, but libsndfile cannot read it or it holds no samples
    };

    // The file at path. It is opened without blocking and only when it is a regular file: a
    // FIFO or a device under a word piece's name must not stop the clock.
    static SoundDecoder OpenFile(const std::string& path);
    // A complete sound file image in memory; the decoder keeps a shared copy of it.
    static SoundDecoder OpenImage(const QByteArray& image);

    SoundDecoder(SoundDecoder&&) noexcept;
    SoundDecoder& operator=(SoundDecoder&&) noexcept;
    ~SoundDecoder();

    Status State() const;
    bool Ok() const { return State() == Status::Ok; }
    // libsndfile's reason when the sound could not be decoded.
    std::string Error() const;

    int SampleRate() const;
    int Channels() const;
    int64_t Frames() const;
    // The sample encoding, short: "PCM 16", "PCM 24", "Float 32", "u-law", "IMA ADPCM", ...
    std::string SampleFormat() const;
    // Whether every sample fits 16 bits exactly; such sounds are played as 16-bit integers,
    // all others as 32-bit float so that they keep their resolution.
    bool FitsSixteenBits() const;

    // Interleaved frames from the current position; the number read, 0 at the end.
    int64_t ReadShorts(int16_t* out, int64_t frameCount);
    int64_t ReadFloats(float* out, int64_t frameCount);

private:
    struct Impl;
    explicit SoundDecoder(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> d;
};

// Why the player would not play a decoded sound. It takes rates from 4 to 192 kHz (below, the
// server's resampling ruins speech), 1 to 8 channels (beyond 7.1 the server has no positions
// to map them to), no more than one write of a second can hold (4 MiB, what the server queues
// for a stream), and no more than a minute: no word piece is that long.
enum class Refusal { None, NotDecoded, Rate, Channels, DataRate, Length };
inline constexpr int MinPlayRate = 4000;
inline constexpr int MaxPlayRate = 192000;
inline constexpr int MaxPlayChannels = 8;
inline constexpr double MaxPlayBytesPerSecond = 4 * 1024 * 1024;
inline constexpr double MaxPlaySeconds = 60;
Refusal Refuses(const SoundDecoder& dec);
// Whether a decoded sound is one the player plays.
inline bool Playable(const SoundDecoder& dec) {
    return Refuses(dec) == Refusal::None;
}
