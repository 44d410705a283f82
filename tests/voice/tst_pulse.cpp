#include "PulsePlayer.h"
#include "SinkRecorder.h"
#include "mKatalog.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <complex>
#include <cstring>
#include <future>
#include <thread>

// The real player against a real sound server: what it plays is what was recorded, in order;
// without a server, or with one that never answers or dies, it returns quietly.
namespace {

constexpr int kRate = 16000; // the rate recordings are compared at

using Samples = std::vector<double>;

void Fft(std::vector<std::complex<double>>& a, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2 * M_PI / static_cast<double>(len) * (inverse ? 1 : -1);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (std::size_t k = 0; k < len / 2; ++k, w *= step) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Where ref fits best into rec at or after from: {position, normalised correlation}.
std::pair<std::size_t, double> Find(const Samples& rec, const Samples& ref, std::size_t from) {
    if (ref.empty() || rec.size() < ref.size() + from) {
        return {0, 0};
    }
    std::size_t n = 1;
    while (n < rec.size() + ref.size()) {
        n <<= 1;
    }
    std::vector<std::complex<double>> a(n), b(n);
    std::copy(rec.begin(), rec.end(), a.begin());
    std::copy(ref.begin(), ref.end(), b.begin());
    Fft(a, false);
    Fft(b, false);
    for (std::size_t i = 0; i < n; ++i) {
        a[i] *= std::conj(b[i]);
    }
    Fft(a, true);
    std::vector<double> energy(rec.size() + 1); // prefix sums of rec²
    for (std::size_t i = 0; i < rec.size(); ++i) {
        energy[i + 1] = energy[i] + rec[i] * rec[i];
    }
    double refEnergy = 0;
    for (double v : ref) {
        refEnergy += v * v;
    }
    std::pair<std::size_t, double> best{0, 0};
    for (std::size_t lag = from; lag + ref.size() <= rec.size(); ++lag) {
        const double e = energy[lag + ref.size()] - energy[lag];
        if (e > 0) {
            const double c = a[lag].real() / static_cast<double>(n) / std::sqrt(e * refEnergy);
            if (c > best.second) {
                best = {lag, c};
            }
        }
    }
    return best;
}

// The sound in file as 16-bit mono at kRate, converted by sox.
Samples Reference(const QString& file) {
    QProcess sox;
    sox.setStandardErrorFile(QProcess::nullDevice());
    sox.start(QStringLiteral("sox"),
              {file, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
               QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16"),
               QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-r"),
               QString::number(kRate), QStringLiteral("-")});
    sox.waitForFinished(30000);
    const QByteArray raw = sox.readAllStandardOutput();
    Samples s(static_cast<std::size_t>(raw.size()) / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        int16_t v;
        std::memcpy(&v, raw.constData() + 2 * i, 2);
        s[i] = v;
    }
    return s;
}

// Runs a tool quietly (its output must not mix with ours).
bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool Sox(const QStringList& args) {
    return Run(QStringLiteral("sox"), args);
}

// Runs f on another thread and tells whether it came back within a generous bound: a call
// that hangs fails the test rather than stalling it.
template <class F> bool Returns(F f) {
    auto task = std::make_shared<std::packaged_task<void()>>(f);
    auto done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    return done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

// A pulseaudio of the test's own, with one null sink, at a socket of its own.
class OwnServer {
public:
    explicit OwnServer(const QString& dir) : dir_(dir) {}
    ~OwnServer() { Kill(); }
    QString Socket() const { return dir_ + QStringLiteral("/native"); }
    bool Start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir_);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_);
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir_ + QStringLiteral("/pulse"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        server_.setProcessEnvironment(env);
        server_.setStandardOutputFile(QProcess::nullDevice());
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start(QStringLiteral("pulseaudio"),
                      {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                       QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                       QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 "
                                      "socket=") +
                           Socket(),
                       QStringLiteral("--load=module-null-sink sink_name=tst_own rate=44100")});
        if (!server_.waitForStarted(5000)) {
            return false;
        }
        for (int i = 0; i < 100 && server_.state() == QProcess::Running; ++i) {
            if (Run(QStringLiteral("pactl"),
                    {QStringLiteral("-s"), Socket(), QStringLiteral("info")})) {
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }
    void Kill() {
        if (server_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(server_.processId()), SIGKILL);
            server_.waitForFinished(5000);
        }
    }
    qint64 Pid() const { return server_.processId(); }

private:
    QString dir_;
    QProcess server_;
};

} // namespace

class TstPulse : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QByteArray savedEnv[4];
    const char* envNames[4] = {"PULSE_SERVER", "XDG_RUNTIME_DIR", "HOME", "PULSE_RUNTIME_PATH"};
    int savedStderr = -1;
    QString stderrFile;

    QString Tone(const QString& name, const QStringList& format, const QString& sweep) {
        const QString path = tmp.filePath(name);
        return Sox(QStringList{QStringLiteral("-n")} + format +
                   QStringList{path, QStringLiteral("synth"), QStringLiteral("0.3"),
                               QStringLiteral("sine"), sweep, QStringLiteral("vol"),
                               QStringLiteral("0.5")})
                   ? path
                   : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        for (int i = 0; i < 4; ++i) {
            savedEnv[i] = qgetenv(envNames[i]);
        }
    }

    // Whatever happens, nothing reaches stderr.
    void init() {
        stderrFile = tmp.filePath(QStringLiteral("stderr-%1").arg(QTest::currentTestFunction()));
        std::fflush(stderr);
        savedStderr = ::dup(2);
        const int fd =
            ::open(stderrFile.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    void cleanup() {
        std::fflush(stderr);
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        for (int i = 0; i < 4; ++i) {
            if (savedEnv[i].isNull()) {
                qunsetenv(envNames[i]);
            } else {
                qputenv(envNames[i], savedEnv[i]);
            }
        }
        QFile f(stderrFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray());
    }

    void playsEveryPieceInOrder() {
        const QString sink = qEnvironmentVariable("TIKKARU_TEST_SINK");
        if (sink.isEmpty()) {
            QSKIP("no test sound server ($TIKKARU_TEST_SINK unset; run through scripts/test)");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty()) {
            QSKIP("sox is missing");
        }
        // Built-in pieces of all four voices, then files in many formats, back to back.
        struct Piece {
            QString file;
            bool builtIn;
        };
        std::vector<Piece> pieces;
        const std::pair<const char*, int> builtIn[] = {
            {"ES", 1}, {"IST", 2}, {"UHR", 3}, {"ZWOELF", 4}};
        for (const auto& [name, voice] : builtIn) {
            QFile f(tmp.filePath(QStringLiteral("%1-%2.wav").arg(name).arg(voice)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(LadeAufnahme(name, voice));
            pieces.push_back({f.fileName(), true});
        }
        const auto S = [](const char* s) { return QString::fromLatin1(s).split(u' '); };
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
            const QString path = Tone(QString::fromLatin1(name), S(format), sweep);
            QVERIFY2(!path.isEmpty(), name);
            pieces.push_back({path, false});
        }

        SinkRecorder rec(sink, kRate);
        QVERIFY(rec.Start());
        {
            PulsePlayer player;
            for (const auto& [name, voice] : builtIn) {
                player.PlayImage(LadeAufnahme(name, voice));
            }
            for (const Piece& p : pieces) {
                if (!p.builtIn) {
                    player.PlayFile(p.file.toStdString());
                }
            }
            player.Drain();
        }
        const std::vector<int16_t> raw = rec.Stop(300);
        const Samples recorded(raw.begin(), raw.end());
        std::size_t from = 0;
        for (const Piece& p : pieces) {
            const Samples ref = Reference(p.file);
            const auto [at, corr] = Find(recorded, ref, from);
            QVERIFY2(corr > 0.8, qPrintable(QStringLiteral("%1: correlation %2 after sample %3")
                                                .arg(p.file)
                                                .arg(corr)
                                                .arg(from)));
            from = at + ref.size() - ref.size() / 10;
        }
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
        PulsePlayer player(o);
        const QByteArray es = LadeAufnahme("ES", 1);
        player.PlayImage(es);
        player.PlayImage(es);
        player.PlayFile(tmp.filePath(QStringLiteral("fehlt.wav")).toStdString());
        player.Drain();
    }

    void serverNeverAnswers() {
        // A socket that takes connections but never speaks: the attempt gives up in time.
        const QString path = tmp.filePath(QStringLiteral("stumm"));
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.toLocal8Bit().constData(), sizeof addr.sun_path - 1);
        QVERIFY(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        QVERIFY(::listen(sock, 8) == 0);
        qputenv("PULSE_SERVER", ("unix:" + path).toLocal8Bit());
        PulsePlayer::Options o;
        o.connectTimeout = 0.3;
        o.retryPause = 0;
        auto* player = new PulsePlayer(o); // left behind if it hangs
        const QByteArray es = LadeAufnahme("ES", 1);
        QVERIFY(Returns([player, es] {
            player->PlayImage(es);
            player->PlayImage(es);
        }));
        delete player;
        ::close(sock);
    }

    void serverDiesWhilePlaying() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
            QSKIP("pulseaudio is missing");
        }
        QTemporaryDir dir;
        OwnServer server(dir.path());
        QVERIFY(server.Start());
        qputenv("PULSE_SERVER", ("unix:" + server.Socket()).toLocal8Bit());
        const QString tone =
            Tone(QStringLiteral("lang.wav"), {QStringLiteral("-r"), QStringLiteral("22050")},
                 QStringLiteral("300-900"));
        QVERIFY(Sox({tone, tone, tone, tone, tone, tone, tmp.filePath(QStringLiteral("x6.wav"))}));
        QFile f(tmp.filePath(QStringLiteral("x6.wav")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray longSound = f.readAll(); // 1.8 s

        PulsePlayer::Options o;
        o.retryPause = 0.2;
        auto* player = new PulsePlayer(o); // left behind if it hangs
        const qint64 pid = server.Pid();
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        });
        // The sound is cut off, the next finds no server: both return.
        const bool returned = Returns([player, longSound] {
            player->PlayImage(longSound);
            player->PlayImage(longSound);
            player->Drain();
        });
        killer.join();
        QVERIFY(returned);
        server.Kill();

        // A server at the same place again: a later sound is heard.
        OwnServer again(dir.path());
        QVERIFY(again.Start());
        QTest::qWait(300); // the retry pause
        SinkRecorder rec(QStringLiteral("tst_own"), kRate);
        QVERIFY(rec.Start());
        QVERIFY(Returns([player, tone] {
            player->PlayFile(tone.toStdString());
            player->Drain();
        }));
        const std::vector<int16_t> raw = rec.Stop(300);
        QVERIFY(Find(Samples(raw.begin(), raw.end()), Reference(tone), 0).second > 0.8);
        delete player;
    }
};

QTEST_GUILESS_MAIN(TstPulse)
#include "tst_pulse.moc"
