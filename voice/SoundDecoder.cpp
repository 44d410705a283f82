// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundDecoder.h"

#include "mExist.h"

#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

// libsndfile's virtual I/O over an image in memory.
struct Image {
    QByteArray bytes; // a shared copy of the caller's array: no bytes are copied
    sf_count_t pos = 0;

    static Image* Of(void* user) { return static_cast<Image*>(user); }
    static sf_count_t Length(void* user) { return Of(user)->bytes.size(); }
    static sf_count_t Tell(void* user) { return Of(user)->pos; }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        Image* im = Of(user);
        const sf_count_t size = im->bytes.size();
        sf_count_t to = offset;
        if (whence == SEEK_CUR) {
            to += im->pos;
        } else if (whence == SEEK_END) {
            to += size;
        }
        im->pos = std::clamp<sf_count_t>(to, 0, size);
        return im->pos;
    }
    static sf_count_t Read(void* out, sf_count_t count, void* user) {
        Image* im = Of(user);
        const sf_count_t n = std::clamp<sf_count_t>(im->bytes.size() - im->pos, 0, count);
        std::memcpy(out, im->bytes.constData() + im->pos, static_cast<std::size_t>(n));
        im->pos += n;
        return n;
    }
};

} // namespace

struct SoundDecoder::Impl {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    int fd = -1; // a descriptor of our own, closed after the decoder
    Image image;
    SF_VIRTUAL_IO io{Image::Length, Image::Seek, Image::Read, Image::Write, Image::Tell};
    Status status = Status::NotOpened;
    std::string error;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (file != nullptr) {
            sf_close(file);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    void Opened() {
        if (file == nullptr) {
            status = Status::NotDecodable;
            error = sf_strerror(nullptr);
        } else if (info.frames <= 0 || info.channels <= 0) {
            status = Status::NotDecodable;
            error = "no samples";
        } else {
            status = Status::Ok;
        }
    }
};

SoundDecoder::SoundDecoder(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
SoundDecoder::SoundDecoder(SoundDecoder&&) noexcept = default;
SoundDecoder& SoundDecoder::operator=(SoundDecoder&&) noexcept = default;
SoundDecoder::~SoundDecoder() = default;

SoundDecoder SoundDecoder::OpenFile(const std::string& path) {
    auto d = std::make_unique<Impl>();
    const int fd = OpenRegular(path);
    if (fd < 0) {
        d->error = "no regular file that can be opened";
        return SoundDecoder(std::move(d));
    }
    d->fd = fd;
    d->file = sf_open_fd(fd, SFM_READ, &d->info, SF_FALSE);
    d->Opened();
    return SoundDecoder(std::move(d));
}

SoundDecoder SoundDecoder::OpenImage(const QByteArray& image) {
    auto d = std::make_unique<Impl>();
    if (image.isEmpty()) {
        d->error = "empty image";
        return SoundDecoder(std::move(d));
    }
    d->image.bytes = image;
    d->file = sf_open_virtual(&d->io, SFM_READ, &d->info, &d->image);
    d->Opened();
    return SoundDecoder(std::move(d));
}

SoundDecoder::Status SoundDecoder::State() const {
    return d->status;
}

std::string SoundDecoder::Error() const {
    return d->error;
}

int SoundDecoder::SampleRate() const {
    return d->info.samplerate;
}

int SoundDecoder::Channels() const {
    return d->info.channels;
}

int64_t SoundDecoder::Frames() const {
    return d->info.frames;
}

std::string SoundDecoder::SampleFormat() const {
    static constexpr std::pair<int, const char*> Namen[] = {
        {SF_FORMAT_PCM_S8, "PCM 8"},      {SF_FORMAT_PCM_U8, "PCM U8"},
        {SF_FORMAT_PCM_16, "PCM 16"},     {SF_FORMAT_PCM_24, "PCM 24"},
        {SF_FORMAT_PCM_32, "PCM 32"},     {SF_FORMAT_FLOAT, "Float 32"},
        {SF_FORMAT_DOUBLE, "Float 64"},   {SF_FORMAT_ULAW, "u-law"},
        {SF_FORMAT_ALAW, "A-law"},        {SF_FORMAT_IMA_ADPCM, "IMA ADPCM"},
        {SF_FORMAT_MS_ADPCM, "MS ADPCM"}, {SF_FORMAT_GSM610, "GSM 6.10"}};
    const int sub = d->info.format & SF_FORMAT_SUBMASK;
    for (const auto& [format, name] : Namen) {
        if (format == sub) {
            return name;
        }
    }
    SF_FORMAT_INFO info{};
    info.format = sub;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) {
        return info.name;
    }
    return "?";
}

bool SoundDecoder::FitsSixteenBits() const {
    static constexpr int Kurz[] = {SF_FORMAT_PCM_S8,   SF_FORMAT_PCM_U8,  SF_FORMAT_PCM_16,
                                   SF_FORMAT_ULAW,     SF_FORMAT_ALAW,    SF_FORMAT_IMA_ADPCM,
                                   SF_FORMAT_MS_ADPCM, SF_FORMAT_GSM610,  SF_FORMAT_VOX_ADPCM,
                                   SF_FORMAT_G721_32,  SF_FORMAT_G723_24, SF_FORMAT_G723_40,
                                   SF_FORMAT_DWVW_12,  SF_FORMAT_DWVW_16};
    return std::ranges::find(Kurz, d->info.format & SF_FORMAT_SUBMASK) != std::end(Kurz);
}

int64_t SoundDecoder::ReadShorts(int16_t* out, int64_t frameCount) {
    return Ok() ? std::max<sf_count_t>(sf_readf_short(d->file, out, frameCount), 0) : 0;
}

int64_t SoundDecoder::ReadFloats(float* out, int64_t frameCount) {
    return Ok() ? std::max<sf_count_t>(sf_readf_float(d->file, out, frameCount), 0) : 0;
}

Refusal Refuses(const SoundDecoder& dec) {
    if (!dec.Ok()) {
        return Refusal::NotDecoded;
    }
    if (dec.SampleRate() < MinPlayRate || dec.SampleRate() > MaxPlayRate) {
        return Refusal::Rate;
    }
    if (dec.Channels() < 1 || dec.Channels() > MaxPlayChannels) {
        return Refusal::Channels;
    }
    // Played as 16-bit integers or as 32-bit floats.
    const double bytesPerSecond =
        static_cast<double>(dec.SampleRate()) * dec.Channels() * (dec.FitsSixteenBits() ? 2 : 4);
    if (bytesPerSecond > MaxPlayBytesPerSecond) {
        return Refusal::DataRate;
    }
    if (static_cast<double>(dec.Frames()) / dec.SampleRate() > MaxPlaySeconds) {
        return Refusal::Length;
    }
    return Refusal::None;
}
