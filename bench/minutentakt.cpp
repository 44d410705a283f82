// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of the on-the-dot row: a clock whose half-second timer runs in whatever phase its
// start gave it, and that announces (plays the recording given) at the first tick that finds
// the second at 00. The sound goes through libpulse's simple API, connected when it is due, as
// the window connects at its first piece. Usage: minutentakt RECORDING.wav

#include <QCoreApplication>
#include <QTime>
#include <QTimer>

#include <pulse/simple.h>
#include <sndfile.h>

#include <cstdio>
#include <vector>

namespace {

bool Spiele(const char* datei) {
    SF_INFO info{};
    SNDFILE* f = sf_open(datei, SFM_READ, &info);
    if (f == nullptr) {
        std::fprintf(stderr, "minutentakt: %s: %s\n", datei, sf_strerror(nullptr));
        return false;
    }
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(f, samples.data(), info.frames);
    sf_close(f);
    const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(info.samplerate),
                                static_cast<uint8_t>(info.channels)};
    int fehler = 0;
    pa_simple* s = pa_simple_new(nullptr, "minutentakt", PA_STREAM_PLAYBACK, nullptr, "Ansage",
                                 &format, nullptr, nullptr, &fehler);
    if (s == nullptr) {
        return false;
    }
    const bool ok =
        pa_simple_write(s, samples.data(), samples.size() * sizeof(short), &fehler) == 0 &&
        pa_simple_drain(s, &fehler) == 0;
    pa_simple_free(s);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: minutentakt RECORDING.wav\n", stderr);
        return 2;
    }
    const char* datei = argv[1];
    int angesagt = -1; // the minute last announced
    QTimer timer;
    // Precise: a coarse timer of Qt lets its ticks drift towards round times, and the peer is a
    // timer that keeps the phase its start gave it.
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        const QTime jetzt = QTime::currentTime();
        if (jetzt.second() == 0 && jetzt.minute() != angesagt) {
            angesagt = jetzt.minute();
            Spiele(datei);
        }
    });
    timer.start(500);
    return app.exec();
}
