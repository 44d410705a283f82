// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakePlayer.h"
#include "mExist.h"
#include "mPlaySound.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

// The file probe and the directory lookup behind it, and PlaySoundFile, which plays only what
// the lookup confirms.
class TestExist : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::string dir; // ends in "/"

    void Write(const QString& name, const QByteArray& bytes) {
        QFile f(tmp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
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
        QTest::newRow("FIFO, without blocking") << "vier.wav" << -1;
        QTest::newRow("FIFO in other case") << "VIER.WAV" << -1;
        QTest::newRow("device") << "/dev/null" << -1;
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
        const std::string path = name.startsWith(u'/') ? "" : dir;
        QCOMPARE(Exist(path + name.toStdString()), expected);
    }

    void relativeAndLarge() {
        // A bare name is looked up in the current folder.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        const int32_t len = Exist("Es.wav");
        QDir::setCurrent(before);
        QCOMPARE(len, 8);
        // 5 GiB (sparse) is clamped, not wrapped.
        QFile f(tmp.filePath("gross.wav"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(5LL << 30));
        QCOMPARE(Exist(dir + "gross.wav"), std::numeric_limits<int32_t>::max());
        f.remove();
    }

    void cannotOpen() {
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

    void unreadable() {
        if (::geteuid() == 0) {
            QSKIP("root reads a file whatever its mode");
        }
        Write("zehn.wav", "1234");
        QVERIFY(::chmod((dir + "zehn.wav").c_str(), 0) == 0);
        QCOMPARE(Exist(dir + "zehn.wav"), -1);
    }

    void playSoundFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("played"); // "" when nothing is played
        // clang-format off
        QTest::newRow("exact") << "es.wav" << "es.wav";
        QTest::newRow("stored name is played") << "Es.WAV" << "es.wav";
        QTest::newRow("missing") << "uhr.wav" << "";
        QTest::newRow("hidden") << ".uhr.wav" << "";
        QTest::newRow("folder") << "drei.wav" << "";
        QTest::newRow("FIFO") << "vier.wav" << "";
        QTest::newRow("wildcard") << "e*.wav" << "";
        QTest::newRow("wildcard, name inside the path") << "s.wav*" << "";
        QTest::newRow("wildcard ?") << "e?.wav" << "";
        // clang-format on
    }
    void playSoundFile() {
        QFETCH(QString, name);
        QFETCH(QString, played);
        FakeClock clock;
        FakePlayer player(clock);
        PlaySoundFile(player, dir + name.toStdString(), SND_ASYNC, {});
        if (played.isEmpty()) {
            QVERIFY(player.calls.empty());
        } else {
            QCOMPARE(player.calls.size(), 1u);
            QVERIFY(player.calls[0].file);
            QCOMPARE(player.calls[0].path, dir + played.toStdString());
        }
    }
};

QTEST_GUILESS_MAIN(TestExist)
#include "tst_exist.moc"
