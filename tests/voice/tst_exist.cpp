#include "FakePlayer.h"
#include "mExist.h"
#include "mPlaySound.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

// The file probe and the directory lookup behind it, and PlaySoundFile, which plays only what
// the lookup confirms.
class TstExist : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::string dir; // ends in "/"

    void Write(const QString& name, const QByteArray& bytes) {
        QFile f(tmp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Runs f on another thread and tells whether it came back: a probe that blocks on a FIFO
    // fails the test instead of hanging it.
    template <class F> static bool ReturnsSoon(F f) {
        auto task = std::make_shared<std::packaged_task<void()>>(f);
        auto done = task->get_future();
        std::thread([task] { (*task)(); }).detach();
        return done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        dir = tmp.path().toStdString() + "/";
        Write("es.wav", "RIFF....");
        Write("ist.wav", "");
        Write(".uhr.wav", "RIFF");
        Write("zwei.wav", "12");
        Write("ZWEI.WAV", "12345");
        Write("sieben", "1234567");
        Write("s.wav", "123");
        QVERIFY(QDir(tmp.path()).mkdir("elf.wav"));
        Write("ELF.Wav", "1");
        QVERIFY(QDir(tmp.path()).mkdir("drei.wav"));
        QVERIFY(::mkfifo((dir + "vier.wav").c_str(), 0644) == 0);
        QVERIFY(QFile::link(tmp.filePath("es.wav"), tmp.filePath("acht.wav")));
        QVERIFY(QFile::link(tmp.filePath("fehlt.wav"), tmp.filePath("neun.wav")));
        // A socket in the folder: never a file to play.
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, (dir + "null.wav").c_str(), sizeof addr.sun_path - 1);
        QVERIFY(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        ::close(sock);
    }

    void probe_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact") << "es.wav" << 8;
        QTest::newRow("other case") << "ES.WAV" << 8;
        QTest::newRow("empty file") << "ist.wav" << 0;
        QTest::newRow("missing") << "uhr.wav" << -1;
        QTest::newRow("hidden") << ".uhr.wav" << -1;
        QTest::newRow("folder") << "drei.wav" << -1;
        QTest::newRow("folder, file in other case") << "elf.wav" << 1;
        QTest::newRow("FIFO") << "vier.wav" << -1;
        QTest::newRow("socket") << "null.wav" << -1;
        QTest::newRow("link to a file") << "Acht.wav" << 8;
        QTest::newRow("dangling link") << "neun.wav" << -1;
        QTest::newRow("exact name before other case") << "ZWEI.WAV" << 5;
        QTest::newRow("two in other case: first found") << "Zwei.wav" << 5;
        QTest::newRow("wildcard *") << "*S.wav" << 8;
        QTest::newRow("wildcard ?") << "?s.wav" << 8;
        QTest::newRow("? is one character") << "??s.wav" << -1;
        QTest::newRow("*.* without extension") << "SIEB*.*" << 7;
        QTest::newRow("folder only") << "" << -1;
    }
    void probe() {
        QFETCH(QString, name);
        QFETCH(int, expected);
        QCOMPARE(Exist(dir + name.toStdString()), expected);
    }

    void probeNeverBlocks() {
        // A FIFO under the name, also when it is found only through another letter case.
        QVERIFY(ReturnsSoon([d = dir] { Exist(d + "vier.wav"); }));
        QVERIFY(ReturnsSoon([d = dir] { Exist(d + "VIER.WAV"); }));
        QCOMPARE(Exist("/dev/null"), -1);
    }

    void relativeToCurrentFolder() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        const int32_t len = Exist("Es.wav");
        QDir::setCurrent(before);
        QCOMPARE(len, 8);
    }

    void lengthClampedTo32Bits() {
        QFile f(tmp.filePath("gross.wav"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(5LL << 30)); // sparse: takes no room
        f.close();
        QCOMPARE(Exist(dir + "gross.wav"), std::numeric_limits<int32_t>::max());
        f.remove();
    }

    void unreadable() {
        if (::geteuid() == 0) {
            QSKIP("root reads a file whatever its mode");
        }
        Write("zehn.wav", "1234");
        QVERIFY(::chmod((dir + "zehn.wav").c_str(), 0) == 0);
        QCOMPARE(Exist(dir + "zehn.wav"), -1);
    }

    void openFails() {
        // No descriptor left: the lookup finds the file, opening it fails.
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &old) == 0);
        rlimit low = old;
        low.rlim_cur = 64;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
        std::vector<int> fds;
        for (int fd; (fd = ::dup(0)) >= 0;) {
            fds.push_back(fd);
        }
        const int32_t len = Exist(dir + "es.wav");
        for (int fd : fds) {
            ::close(fd);
        }
        ::setrlimit(RLIMIT_NOFILE, &old);
        QCOMPARE(len, -1);
    }

    void playSoundFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("played"); // "" when nothing is played
        QTest::newRow("exact") << "es.wav"
                               << "es.wav";
        QTest::newRow("stored name is played") << "Es.WAV"
                                               << "es.wav";
        QTest::newRow("missing") << "uhr.wav"
                                 << "";
        QTest::newRow("hidden") << ".uhr.wav"
                                << "";
        QTest::newRow("folder") << "drei.wav"
                                << "";
        QTest::newRow("FIFO") << "vier.wav"
                              << "";
        QTest::newRow("wildcard") << "e*.wav"
                                  << "";
        QTest::newRow("wildcard, name inside the path") << "s.wav*"
                                                        << "";
        QTest::newRow("wildcard ?") << "e?.wav"
                                    << "";
    }
    void playSoundFile() {
        QFETCH(QString, name);
        QFETCH(QString, played);
        FakePlayer player;
        PlaySoundFile(player, dir + name.toStdString(), SND_SYNC);
        if (played.isEmpty()) {
            QVERIFY(player.calls.empty());
        } else {
            QCOMPARE(player.calls.size(), 1u);
            QVERIFY(player.calls[0].file);
            QCOMPARE(player.calls[0].path, dir + played.toStdString());
        }
    }
};

QTEST_GUILESS_MAIN(TstExist)
#include "tst_exist.moc"
