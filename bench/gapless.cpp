// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the sound output, not pass/fail:
//  - the silence added between consecutive sounds played one call after the other, recorded
//    from the sink's monitor, against one image holding all of them and against paplay;
//  - the processor time that WaitS(0.25) costs.
// Run through bench/gapless, which builds this and provides a sound server.

#include "Clock.h"
#include "PulsePlayer.h"
#include "SinkRecorder.h"
#include "mWaitS.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSinkRate = 44100;
constexpr int kThreshold = 16; // samples at or below this count as silence

struct Piece {
    int rate;
    std::vector<int16_t> samples;
    double Seconds() const { return static_cast<double>(samples.size()) / rate; }
};

// A tone that is loud from its first sample to its last, so that any silence in the
// recording was added on the way.
Piece Tone(int rate, double seconds, double hz) {
    Piece p{rate, {}};
    const auto n = static_cast<std::size_t>(seconds * rate);
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        p.samples.push_back(static_cast<int16_t>(std::lround(16000 * std::cos(phase))));
    }
    return p;
}

QByteArray Wav(const Piece& p) {
    const auto dataBytes = static_cast<quint32>(p.samples.size() * 2);
    QByteArray b(44, '\0');
    auto put32 = [&](int at, quint32 v) { qToLittleEndian(v, b.data() + at); };
    auto put16 = [&](int at, quint16 v) { qToLittleEndian(v, b.data() + at); };
    std::memcpy(b.data(), "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, static_cast<quint32>(p.rate));
    put32(28, static_cast<quint32>(p.rate * 2));
    put16(32, 2);
    put16(34, 16);
    std::memcpy(b.data() + 36, "data", 4);
    put32(40, dataBytes);
    b.append(reinterpret_cast<const char*>(p.samples.data()), static_cast<qsizetype>(dataBytes));
    return b;
}

struct Gaps {
    double perJoint = 0;   // silence inside the recording, per joint between two sounds
    double spanExcess = 0; // recorded span minus the sounds' own length, per joint
    bool heard = false;
};

Gaps Measure(const std::vector<int16_t>& rec, const std::vector<Piece>& pieces) {
    Gaps g;
    const auto loud = [](int16_t s) { return std::abs(static_cast<int>(s)) > kThreshold; };
    const auto first = std::find_if(rec.begin(), rec.end(), loud);
    const auto last = std::find_if(rec.rbegin(), rec.rend(), loud);
    if (first == rec.end()) {
        return g;
    }
    g.heard = true;
    const auto begin = static_cast<std::size_t>(first - rec.begin());
    const auto end = rec.size() - static_cast<std::size_t>(last - rec.rbegin());
    std::size_t silent = 0;
    std::size_t run = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (loud(rec[i])) {
            if (run >= 3) {
                silent += run;
            }
            run = 0;
        } else {
            ++run;
        }
    }
    double total = 0;
    for (const Piece& p : pieces) {
        total += p.Seconds();
    }
    const double joints = std::max<double>(1, static_cast<double>(pieces.size()) - 1);
    g.perJoint = static_cast<double>(silent) / kSinkRate / joints;
    g.spanExcess = (static_cast<double>(end - begin) / kSinkRate - total) / joints;
    return g;
}

std::vector<Piece> Sentence(int count, int rateA, int rateB) {
    std::vector<Piece> pieces;
    for (int i = 0; i < count; ++i) {
        const double seconds = 0.13 + 0.05 * (i % 6); // 130 to 380 ms, like word pieces
        pieces.push_back(Tone(i % 2 ? rateB : rateA, seconds, 300.0 + 60.0 * (i % 9)));
    }
    return pieces;
}

Piece Joined(const std::vector<Piece>& pieces) {
    Piece all{pieces.front().rate, {}};
    for (const Piece& p : pieces) {
        all.samples.insert(all.samples.end(), p.samples.begin(), p.samples.end());
    }
    return all;
}

// Records what play() plays; returns the gaps, averaged over runs.
Gaps Record(const QString& sink, const std::vector<Piece>& pieces,
            const std::function<void()>& play, int runs) {
    Gaps sum;
    int heard = 0;
    for (int r = 0; r < runs; ++r) {
        SinkRecorder rec(sink, kSinkRate);
        if (!rec.Start()) {
            std::printf("  (cannot record from %s.monitor)\n", qPrintable(sink));
            return {};
        }
        play();
        const Gaps g = Measure(rec.Stop(150), pieces);
        if (g.heard) {
            sum.perJoint += g.perJoint;
            sum.spanExcess += g.spanExcess;
            ++heard;
        }
    }
    if (heard > 0) {
        sum.perJoint /= heard;
        sum.spanExcess /= heard;
        sum.heard = true;
    }
    return sum;
}

void Report(const char* what, const Gaps& g) {
    if (!g.heard) {
        std::printf("  %-44s nothing recorded\n", what);
        return;
    }
    std::printf("  %-44s %6.2f ms silence   %6.2f ms longer\n", what, g.perJoint * 1000,
                g.spanExcess * 1000);
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Plays the images one after another as an announcement does (each handed over when the one
// before is reported nearly over), drains, and returns once all has been heard.
void PlayAll(PulsePlayer& player, const std::vector<QByteArray>& images) {
    QEventLoop loop;
    std::function<void(std::size_t)> next = [&](std::size_t i) {
        if (i == images.size()) {
            player.Drain([&](PlayFailure) { loop.quit(); });
            return;
        }
        player.PlayImage(images[i], {{}, [&next, i](double, PlayFailure) { next(i + 1); }});
    };
    QTimer::singleShot(0, &loop, [&] { next(0); });
    loop.exec();
}

double Arg(const QStringList& args, const QString& name, double fallback) {
    for (const QString& a : args) {
        if (a.startsWith(name + u'=')) {
            return a.mid(name.size() + 1).toDouble();
        }
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = static_cast<int>(Arg(args, QStringLiteral("--runs"), 3));
    const int count = static_cast<int>(Arg(args, QStringLiteral("--pieces"), 16));
    PulsePlayer::Options options;
    options.bufferSeconds =
        Arg(args, QStringLiteral("--buffer-ms"), options.bufferSeconds * 1000) / 1000;
    options.nearlyOver = Arg(args, QStringLiteral("--ahead-ms"), options.nearlyOver * 1000) / 1000;
    QString sink = qEnvironmentVariable("TIKKARU_TEST_SINK");
    if (sink.isEmpty()) {
        sink = QStringLiteral("tikkaru_null");
    }

    std::printf(
        "Silence added between consecutive sounds (%d tones of 130-380 ms, mean of %d "
        "runs, per joint;\nbuffer %.0f ms, the next sound asked for %.0f ms before the end; sink "
        "%s at %d Hz)\n",
        count, runs, options.bufferSeconds * 1000, options.nearlyOver * 1000, qPrintable(sink),
        kSinkRate);

    const std::vector<Piece> same = Sentence(count, 22050, 22050);
    {
        PulsePlayer player(options);
        const QByteArray all = Wav(Joined(same));
        Report("one image holding all sounds (reference)",
               Record(
                   sink, same, [&] { PlayAll(player, {all}); }, runs));
    }
    {
        PulsePlayer player(options);
        std::vector<QByteArray> images;
        for (const Piece& p : same) {
            images.push_back(Wav(p));
        }
        Report("PulsePlayer, one call per sound",
               Record(
                   sink, same, [&] { PlayAll(player, images); }, runs));
    }
    {
        PulsePlayer player(options);
        const std::vector<Piece> mixed = Sentence(count, 22050, 16000);
        std::vector<QByteArray> images;
        for (const Piece& p : mixed) {
            images.push_back(Wav(p));
        }
        Report("PulsePlayer, sample rate changing every sound",
               Record(
                   sink, mixed, [&] { PlayAll(player, images); }, runs));
    }
    if (!QStandardPaths::findExecutable(QStringLiteral("paplay")).isEmpty()) {
        QTemporaryDir dir;
        QStringList files;
        for (std::size_t i = 0; i < same.size(); ++i) {
            QFile f(dir.filePath(QStringLiteral("%1.wav").arg(i)));
            if (f.open(QIODevice::WriteOnly)) {
                f.write(Wav(same[i]));
                files << f.fileName();
            }
        }
        Report("paplay, one process per sound (comparison)",
               Record(
                   sink, same,
                   [&] {
                       for (const QString& f : files) {
                           QProcess::execute(QStringLiteral("paplay"), {f});
                       }
                   },
                   runs));
    }

    // A pause as in an announcement, with the window's 500 ms timer running meanwhile.
    QTimer tick;
    tick.start(500);
    SystemClock clock;
    constexpr int waits = 8;
    const double cpu0 = CpuSeconds();
    const double wall0 = clock.MonotonicSeconds();
    for (int i = 0; i < waits; ++i) {
        QEventLoop loop;
        WaitS(0.25, clock, [&] { loop.quit(); });
        loop.exec();
    }
    const double cpu = (CpuSeconds() - cpu0) / waits;
    const double wall = (clock.MonotonicSeconds() - wall0) / waits;
    std::printf("\nWaitS(0.25), mean of %d: %.3f ms processor time, %.1f ms elapsed\n", waits,
                cpu * 1000, wall * 1000);
    return 0;
}
