// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory of the clock's window after start-up and after 1,000 announcements. The
// announcements run with a player that decodes every piece and returns at once, and with a
// monotonic clock 100 times fast, so that their pauses pass in 2.5 ms. Prints
// "rss_kb ANNOUNCEMENTS KB" lines. Usage: memory [ANNOUNCEMENTS]; run through bench/run.

#include "Clock.h"
#include "Form1.h"
#include "Player.h"
#include "QtEventPump.h"
#include "SoundDecoder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kFast = 100;

class FastClock final : public Clock {
public:
    std::string TimeText() const override { return real_.TimeText(); }
    double SecondsSinceMidnight() const override { return real_.SecondsSinceMidnight(); }
    double MonotonicSeconds() const override { return real_.MonotonicSeconds() * kFast; }

private:
    SystemClock real_;
};

class FastPump final : public EventPump {
public:
    void ProcessPending() override { inner_.ProcessPending(); }
    void WaitForEvents(double maxSeconds) override { inner_.WaitForEvents(maxSeconds / kFast); }

private:
    QtEventPump inner_;
};

// Decodes what it is given, as the real player does, and returns.
class DecodingPlayer final : public Player {
public:
    void PlayImage(const QByteArray& wav) override {
        SoundDecoder d = SoundDecoder::OpenImage(wav);
        Read(d);
    }
    void PlayFile(const std::string& path) override {
        SoundDecoder d = SoundDecoder::OpenFile(path);
        Read(d);
    }
    long pieces = 0;

private:
    void Read(SoundDecoder& d) {
        if (!d.Ok()) {
            return;
        }
        std::vector<int16_t> buf(4096 * static_cast<std::size_t>(d.Channels()));
        while (d.ReadShorts(buf.data(), 4096) > 0) {
        }
        ++pieces;
    }
};

long RssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));

    FastClock clock;
    DecodingPlayer player;
    FastPump pump;
    Prozess prozess;
    prozess.CurrentDir = home.path().toStdString();
    prozess.EndProgram = [](int) {};
    Form1 form(clock, player, pump, prozess);
    form.Form_Load();
    form.opMA->setChecked(true); // no announcement of the scheduler's own in between
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) {
        app.processEvents();
    }
    std::printf("rss_kb 0 %ld\n", RssKb());
    for (int i = 1; i <= total; ++i) {
        form.Tikkaru();
        if (i % (total / 4 > 0 ? total / 4 : 1) == 0) {
            std::printf("rss_kb %d %ld\n", i, RssKb());
        }
    }
    std::printf("pieces %ld\n", player.pieces);
    std::fflush(stdout);
    std::_Exit(0);
}
