// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulsePlayer.h"
#include "SinkRecorder.h"
#include "mKatalog.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

// The real player against a real sound server: what it plays is what was recorded, in order;
// without a server, or with one that never answers or dies, it returns quietly.
namespace {

constexpr int kRate = 8000; // the rate recordings are compared at
using Samples = std::vector<float>;
const auto L = [](const char* s) { return QString::fromLatin1(s); };

// The threads this process runs.
int Threads() {
    return static_cast<int>(
        QDir(L("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs a tool quietly (its output must not mix with ours).
bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    if (out == nullptr) {
        p.setStandardOutputFile(QProcess::nullDevice());
    }
    p.start(program, args);
    const bool ok =
        p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (out != nullptr) {
        *out = p.readAllStandardOutput();
    }
    return ok;
}

// The sound in file as mono at kRate, converted by sox.
Samples Reference(const QString& file) {
    QByteArray raw;
    Run(L("sox"),
        {file, L("-t"), L("raw"), L("-e"), L("signed"), L("-b"), L("16"), L("-c"), L("1"), L("-r"),
         QString::number(kRate), L("-")},
        &raw);
    const auto* v = reinterpret_cast<const int16_t*>(raw.constData());
    return Samples(v, v + raw.size() / 2);
}

// Where ref fits best into rec, starting within 1.5 s after from: {position, correlation}.
std::pair<std::size_t, double> Find(const Samples& rec, const Samples& ref, std::size_t from) {
    std::pair<std::size_t, double> best{from, 0};
    double refEnergy = 0;
    for (float v : ref) {
        refEnergy += double(v) * v;
    }
    for (std::size_t lag = from; lag + ref.size() <= rec.size() && lag < from + kRate * 3 / 2;
         ++lag) {
        double dot = 0, energy = 0;
        for (std::size_t k = 0; k < ref.size(); ++k) {
            dot += double(rec[lag + k]) * ref[k];
            energy += double(rec[lag + k]) * rec[lag + k];
        }
        if (energy > 0 && dot / std::sqrt(energy * refEnergy) > best.second) {
            best = {lag, dot / std::sqrt(energy * refEnergy)};
        }
    }
    return best;
}

// How much of ref's start is missing where it was recorded in rec, in ms: ref is placed by its
// part from 40 ms on, and its first loud sample is looked for in the recording.
double LostAtStart(const Samples& rec, const Samples& ref) {
    float peak = 0;
    for (float v : ref) {
        peak = std::max(peak, std::abs(v));
    }
    const auto onset = [&](const Samples& x, std::size_t from) {
        for (std::size_t i = from; i < x.size(); ++i) {
            if (std::abs(x[i]) > peak / 20) {
                return static_cast<double>(i);
            }
        }
        return -1.0;
    };
    const std::size_t skip = kRate * 40 / 1000;
    const double heard = onset(rec, 0);
    const Samples tail(ref.begin() + skip, ref.end());
    const std::size_t from = heard > kRate / 10 ? static_cast<std::size_t>(heard) - kRate / 10 : 0;
    const double start = static_cast<double>(Find(rec, tail, from).first) - skip;
    return (heard - start - onset(ref, 0)) * 1000 / kRate;
}

// A sound to play: a WAV image, or else a file, or else a pause of that many seconds.
struct Klang {
    QByteArray bild;
    QString datei;
    double stille = 0;
};

// What the player reported of each sound, on the monotonic clock: when it was heard (0: never),
// when it was reported nearly over and the end it gave; whether everything was over within a
// generous bound (so that a hang fails the test rather than stalling it), and whether any
// report came from inside the call that handed a sound over; the first failure any report gave.
struct Berichte {
    std::vector<double> gehoert, fast, ende;
    bool fertig = false;
    bool imAufruf = false;
    PlayFailure fehler = PlayFailure::None;
    void Melde(PlayFailure f) {
        if (fehler == PlayFailure::None) {
            fehler = f;
        }
    }
};

double Jetzt() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Plays the sounds as an announcement does: each handed over when the one before is reported
// nearly over, then Drain; the event loop runs meanwhile.
Berichte Hoere(PulsePlayer& player, const std::vector<Klang>& klaenge) {
    const std::size_t n = klaenge.size();
    Berichte b{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    QEventLoop loop;
    bool imAufruf = false;
    std::function<void(std::size_t)> weiter = [&](std::size_t i) {
        if (i == n) {
            player.Drain([&](PlayFailure f) {
                b.Melde(f);
                b.imAufruf = b.imAufruf || imAufruf;
                b.fertig = true;
                loop.quit();
            });
            return;
        }
        Meldung m{[&, i] {
                      b.imAufruf = b.imAufruf || imAufruf;
                      b.gehoert[i] = Jetzt();
                  },
                  [&, i](double ende, PlayFailure f) {
                      b.Melde(f);
                      b.imAufruf = b.imAufruf || imAufruf;
                      b.fast[i] = Jetzt();
                      b.ende[i] = ende;
                      weiter(i + 1);
                  }};
        imAufruf = true;
        if (klaenge[i].stille > 0) {
            player.PlaySilence(klaenge[i].stille, std::move(m));
        } else if (klaenge[i].datei.isEmpty()) {
            player.PlayImage(klaenge[i].bild, std::move(m));
        } else {
            player.PlayFile(klaenge[i].datei.toStdString(), std::move(m));
        }
        imAufruf = false;
    };
    QTimer::singleShot(0, &loop, [&] { weiter(0); });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return b;
}

// A pulseaudio of the test's own with a null sink "tst_own", at dir/native.
struct OwnServer {
    QProcess process;
    bool Start(const QString& dir, const QStringList& more = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(L("HOME"), dir);
        env.insert(L("XDG_RUNTIME_DIR"), dir);
        env.insert(L("PULSE_RUNTIME_PATH"), dir + L("/pulse"));
        env.remove(L("PULSE_SERVER"));
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(L("pulseaudio"),
                      QStringList{L("-n"), L("--daemonize=no"), L("--exit-idle-time=-1"),
                                  L("--use-pid-file=no"),
                                  L("--load=module-native-protocol-unix auth-anonymous=1 socket=") +
                                      dir + L("/native"),
                                  L("--load=module-null-sink sink_name=tst_own rate=44100")} +
                          more);
        for (int i = 0; i < 100 && process.waitForStarted(5000); ++i) {
            if (Run(L("pactl"), {L("-s"), dir + L("/native"), L("info")})) {
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }
    ~OwnServer() {
        if (process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            process.waitForFinished(5000);
        }
    }
};

} // namespace

class TestPulse : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QProcessEnvironment savedEnv = QProcessEnvironment::systemEnvironment();
    int savedStderr = -1;

    QString Tone(const QString& name, const QStringList& format, const QString& sweep) {
        const QString path = tmp.filePath(name);
        const bool ok = Run(L("sox"), QStringList{L("-n")} + format +
                                          QStringList{path, L("synth"), L("0.3"), L("sine"), sweep,
                                                      L("vol"), L("0.5")});
        return ok ? path : QString();
    }

private slots:
    // Whatever happens, nothing reaches stderr.
    void init() {
        std::fflush(stderr);
        savedStderr = ::dup(2);
        const int fd =
            ::open(qPrintable(tmp.filePath(L("stderr"))), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    void cleanup() {
        std::fflush(stderr);
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        for (const char* name :
             {"PULSE_SERVER", "PULSE_SINK", "XDG_RUNTIME_DIR", "HOME", "PULSE_RUNTIME_PATH"}) {
            const QString old = savedEnv.value(L(name), L("\n"));
            old == L("\n") ? qunsetenv(name) : qputenv(name, old.toLocal8Bit());
        }
        QFile f(tmp.filePath(L("stderr")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray());
    }

    void playsEveryPieceInOrder() {
        if (qEnvironmentVariableIsEmpty("TIKKARU_TEST_SINK")) {
            QSKIP("no test sound server ($TIKKARU_TEST_SINK unset; run through scripts/test)");
        }
        // A null sink of this test's own on the test server, so that other tests playing
        // meanwhile are not heard here, nor this one there.
        const QString sink = QStringLiteral("tst_pulse_%1").arg(QCoreApplication::applicationPid());
        QByteArray module;
        QVERIFY(
            Run(L("pactl"),
                {L("load-module"), L("module-null-sink"), L("sink_name=") + sink, L("rate=44100")},
                &module));
        const auto unload = qScopeGuard([&] {
            Run(L("pactl"), {L("unload-module"), QString::fromLatin1(module.trimmed())});
        });
        qputenv("PULSE_SINK", sink.toLatin1());
        // Built-in pieces of all four voices, then files in many formats, back to back.
        const std::pair<const char*, int> builtIn[] = {
            {"ES", 1}, {"IST", 2}, {"UHR", 3}, {"ZWOELF", 4}};
        QStringList files;
        for (const auto& [name, voice] : builtIn) {
            QFile f(tmp.filePath(QStringLiteral("%1-%2.wav").arg(L(name)).arg(voice)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(LadeAufnahme(name, voice));
            files << f.fileName();
        }
        const std::pair<const char*, const char*> formats[] = {
            {"u8.wav", "-r 8000 -c 1 -e unsigned-integer -b 8"},
            {"s16.wav", "-r 44100 -c 2 -e signed-integer -b 16"},
            {"s24.wav", "-r 48000 -c 1 -e signed-integer -b 24"},
            {"s32.wav", "-r 96000 -c 1 -e signed-integer -b 32"},
            {"f32.wav", "-r 32000 -c 2 -e floating-point -b 32"},
            {"ulaw.wav", "-r 8000 -c 1 -e mu-law"},
            {"alaw.wav", "-r 8000 -c 1 -e a-law"},
            {"ima.wav", "-r 22050 -c 1 -e ima-adpcm"},
            {"ms.wav", "-r 11025 -c 2 -e ms-adpcm"},
            {"s16.aiff", "-r 22050 -c 1 -e signed-integer -b 16"},
            {"flac.flac", "-r 44100 -c 1 -b 16"},
        };
        int k = 0;
        for (const auto& [name, format] : formats) {
            const QString sweep = QStringLiteral("%1-%2").arg(200 + 97 * k).arg(2400 - 131 * k);
            ++k;
            files << Tone(L(name), L(format).split(u' '), sweep);
            QVERIFY2(!files.back().isEmpty(), name);
        }

        SinkRecorder rec(sink, kRate);
        QVERIFY(rec.Start());
        std::vector<Klang> klaenge;
        for (const auto& [name, voice] : builtIn) {
            klaenge.push_back({LadeAufnahme(name, voice), {}});
        }
        // A pause between the first two pieces (both at 22050 Hz, on one stream).
        const std::size_t pause = 1;
        klaenge.insert(klaenge.begin() + pause, Klang{{}, {}, 0.25});
        for (const QString& f : files.mid(std::size(builtIn))) {
            klaenge.push_back({{}, f});
        }
        Berichte b;
        {
            PulsePlayer player;
            b = Hoere(player, klaenge);
        }
        QVERIFY(b.fertig);
        QVERIFY(!b.imAufruf);
        // Each sound is heard, after the one before it, and reported nearly over a little
        // before its end (or at it, where the event loop ran late).
        const double ahead = PulsePlayer::Options{}.nearlyOver;
        std::vector<double> left;
        for (std::size_t i = 0; i < klaenge.size(); ++i) {
            QVERIFY2(b.gehoert[i] > 0, qPrintable(QString::number(i)));
            QVERIFY(i == 0 || b.gehoert[i] >= b.gehoert[i - 1]);
            QVERIFY(b.fast[i] >= b.gehoert[i]);
            left.push_back(std::max(0.0, b.ende[i] - b.fast[i]));
            QVERIFY2(left.back() <= ahead + 0.002, qPrintable(QString::number(left.back())));
        }
        QVERIFY(std::any_of(left.begin(), left.end(), [](double l) { return l > 0; }));
        const std::vector<int16_t> raw = rec.Stop(300);
        const Samples recorded(raw.begin(), raw.end());
        std::size_t from = 0;
        std::vector<std::pair<std::size_t, std::size_t>> found; // start and end of each file
        for (const QString& f : files) {
            const Samples ref = Reference(f);
            const auto [at, corr] = Find(recorded, ref, from);
            QVERIFY2(corr > 0.8, qPrintable(f + L(": correlation ") + QString::number(corr)));
            from = at + ref.size() * 9 / 10;
            found.emplace_back(at, at + ref.size());
        }
        // The pause is as long as asked, to the millisecond, and reported heard when it starts.
        const double gap = (static_cast<double>(found[pause].first) -
                            static_cast<double>(found[pause - 1].second)) *
                           1000 / kRate;
        QVERIFY2(std::abs(gap - 250) <= 1, qPrintable(QString::number(gap)));
        QVERIFY(std::abs(b.gehoert[pause + 1] - b.gehoert[pause] - 0.25) < 0.01);
    }

    // A sink with no stream renders ahead; a new stream makes the server rewind it, and its
    // monitor must still carry the first piece from its first sample on, and on a sink that
    // suspends when idle lose no more than paplay does; also when the player opened its stream
    // a second ahead (as before a full minute) and writes to it only then.
    void firstPieceWhole_data() {
        QTest::addColumn<bool>("suspends");
        QTest::addColumn<bool>("prepared");
        QTest::newRow("idle sink") << false << false;
        QTest::newRow("sink suspended on idle") << true << false;
        QTest::newRow("idle sink, stream opened ahead") << false << true;
        QTest::newRow("sink suspended on idle, stream opened ahead") << true << true;
    }
    void firstPieceWhole() {
        QFETCH(bool, suspends);
        QFETCH(bool, prepared);
        if (QStandardPaths::findExecutable(L("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(L("paplay")).isEmpty()) {
            QSKIP("pulseaudio or paplay is missing");
        }
        QTemporaryDir dir;
        OwnServer server;
        QVERIFY(server.Start(dir.path(), suspends ? QStringList{L("--load=module-suspend-on-idle "
                                                                  "timeout=1")}
                                                  : QStringList{}));
        const QString socket = L("unix:") + dir.path() + L("/native");
        qputenv("PULSE_SERVER", socket.toLocal8Bit());
        const QString es = tmp.filePath(L("es.wav"));
        QFile f(es);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(LadeAufnahme("ES", 1));
        f.close();
        const Samples ref = Reference(es);

        const auto lost = [&](const std::function<void()>& play) {
            QTest::qWait(1500); // idle long enough to suspend
            SinkRecorder rec(L("tst_own"), kRate);
            if (!rec.Start()) {
                return 1e9;
            }
            play();
            const std::vector<int16_t> raw = rec.Stop(300);
            return LostAtStart(Samples(raw.begin(), raw.end()), ref);
        };
        const auto playOurs = [&] {
            PulsePlayer player;
            if (prepared) {
                player.PrepareFile(es.toStdString());
                QTest::qWait(1000);
            }
            Hoere(player, {{{}, es}});
        };
        if (!suspends) {
            const double ours = lost(playOurs);
            QVERIFY2(ours <= 1.0, qPrintable(QString::number(ours) + L(" ms lost")));
            return;
        }
        // What a resuming sink loses varies by a few milliseconds from start to start, for
        // paplay too: of up to three pairs of starts, one must meet the bound.
        double ours = 0, paplay = 0;
        for (int versuch = 0; versuch < 3; ++versuch) {
            ours = lost(playOurs);
            paplay = lost([&] { Run(L("paplay"), {L("-s"), dir.path() + L("/native"), es}); });
            if (ours <= std::max(paplay, 0.0) + 1.0) {
                break;
            }
        }
        QVERIFY2(ours <= std::max(paplay, 0.0) + 1.0,
                 qPrintable(QStringLiteral("%1 ms lost, paplay %2 ms").arg(ours).arg(paplay)));
    }

    // A stream opened ahead and never written is closed once it has been idle for idleClose:
    // it must not keep the server busy.
    void streamOpenedAheadCloses() {
        if (QStandardPaths::findExecutable(L("pulseaudio")).isEmpty()) {
            QSKIP("pulseaudio is missing");
        }
        QTemporaryDir dir;
        OwnServer server;
        QVERIFY(server.Start(dir.path()));
        qputenv("PULSE_SERVER", (L("unix:") + dir.path() + L("/native")).toLocal8Bit());
        const auto streams = [&] {
            QByteArray out;
            Run(L("pactl"),
                {L("-s"), dir.path() + L("/native"), L("list"), L("short"), L("sink-inputs")},
                &out);
            return out.count('\n');
        };
        PulsePlayer::Options options;
        options.idleClose = 0.5;
        PulsePlayer player(options);
        player.PrepareImage(LadeAufnahme("ES", 1));
        QTRY_COMPARE_WITH_TIMEOUT(streams(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(streams(), 0, 3000);
    }

    void noServer_data() {
        QTest::addColumn<bool>("defaultPlace");
        QTest::newRow("PULSE_SERVER names no socket") << false;
        QTest::newRow("nothing in the runtime folder") << true;
    }
    void noServer() {
        QFETCH(bool, defaultPlace);
        QTemporaryDir empty;
        if (defaultPlace) {
            qunsetenv("PULSE_SERVER");
            qunsetenv("PULSE_RUNTIME_PATH");
            qputenv("XDG_RUNTIME_DIR", empty.path().toLocal8Bit());
            qputenv("HOME", empty.path().toLocal8Bit());
        } else {
            qputenv("PULSE_SERVER", ("unix:" + empty.path() + "/native").toLocal8Bit());
        }
        PulsePlayer::Options o;
        o.retryPause = 0; // try again at every sound
        const int threads = Threads();
        PulsePlayer player(o);
        QCOMPARE(Threads(), threads); // a player not asked for anything yet runs nothing
        const Berichte b = Hoere(player, {{LadeAufnahme("ES", 1), {}},
                                          {LadeAufnahme("ES", 1), {}},
                                          {{}, tmp.filePath(L("fehlt.wav"))}});
        QVERIFY(b.fertig);
        QCOMPARE(b.gehoert, std::vector<double>(3)); // never heard
        QCOMPARE(b.fehler, PlayFailure::NoServer);

        // A sound skipped within the retry pause was not heard either: a new announcement
        // then fails for the reason of the pause.
        o.retryPause = 60;
        PulsePlayer pausing(o);
        QCOMPARE(Hoere(pausing, {{LadeAufnahme("ES", 1), {}}}).fehler, PlayFailure::NoServer);
        const Berichte spaeter = Hoere(pausing, {{LadeAufnahme("ES", 1), {}}});
        QVERIFY(spaeter.fertig);
        QCOMPARE(spaeter.fehler, PlayFailure::NoServer);
    }

    void serverNeverAnswers() {
        // A socket that takes connections but never speaks: the attempt gives up in time.
        const QString path = tmp.filePath(L("stumm"));
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, qPrintable(path), sizeof addr.sun_path);
        QVERIFY(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        QVERIFY(::listen(sock, 8) == 0);
        qputenv("PULSE_SERVER", ("unix:" + path).toLocal8Bit());
        PulsePlayer::Options o;
        o.connectTimeout = 0.3;
        o.retryPause = 0;
        {
            PulsePlayer player(o);
            const Berichte b =
                Hoere(player, {{LadeAufnahme("ES", 1), {}}, {LadeAufnahme("ES", 1), {}}});
            QVERIFY(b.fertig);
            QCOMPARE(b.fehler, PlayFailure::ServerSilent);
        }
        ::close(sock);
    }

    void serverDiesWhilePlaying() {
        if (QStandardPaths::findExecutable(L("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(L("parec")).isEmpty()) {
            QSKIP("pulseaudio or parec is missing");
        }
        QTemporaryDir dir;
        auto server = std::make_unique<OwnServer>();
        QVERIFY(server->Start(dir.path()));
        qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/native").toLocal8Bit());
        const QString tone = Tone(L("lang.wav"), {L("-r"), L("22050")}, L("300-900"));
        const QString six = tmp.filePath(L("x6.wav"));
        QVERIFY(Run(L("sox"), {tone, tone, tone, tone, tone, tone, six}));
        QFile f(six);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray longSound = f.readAll(); // 1.8 s

        PulsePlayer::Options o;
        o.retryPause = 0.2;
        auto player = std::make_unique<PulsePlayer>(o);
        const auto pid = static_cast<pid_t>(server->process.processId());
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            ::kill(pid, SIGKILL);
        });
        // The sound is cut off, the next one finds no server: both are over.
        const Berichte cut = Hoere(*player, {{longSound, {}}, {longSound, {}}});
        killer.join();
        QVERIFY(cut.fertig);
        QVERIFY(cut.fehler != PlayFailure::None);
        server.reset();

        // A server at the same place again: a later sound is heard.
        server = std::make_unique<OwnServer>();
        QVERIFY(server->Start(dir.path()));
        QTest::qWait(300); // the retry pause
        SinkRecorder rec(L("tst_own"), kRate);
        QVERIFY(rec.Start());
        const Berichte again = Hoere(*player, {{{}, tone}});
        QVERIFY(again.fertig);
        const std::vector<int16_t> raw = rec.Stop(300);
        QVERIFY(Find(Samples(raw.begin(), raw.end()), Reference(tone), 0).second > 0.8);
        // Heard in full: this announcement did not fail, though the player did before.
        QCOMPARE(again.fehler, PlayFailure::None);
    }
};

QTEST_GUILESS_MAIN(TestPulse)
#include "tst_pulse.moc"
