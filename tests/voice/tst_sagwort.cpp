// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakePlayer.h"
#include "mDatenPfad.h"
#include "mKatalog.h"
#include "mPlaySound.h"
#include "mSagWort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Which recording a word piece plays: the file of the external voice or a built-in recording,
// by the selected voice entry, the number of entries and what the data folder holds.
class TestSagWort : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::string data; // the data folder, ending in "/"

    void Write(const QString& name, const QByteArray& bytes) {
        QFile f(tmp.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // What one call played: "file:<name>", "voice:<n>" (the built-in recording of that voice)
    // or "" for nothing.
    QString Played(int index, int count, const std::string& wort) {
        FakeClock clock;
        FakePlayer player(clock);
        SpieleWort(player, data, index, count, wort, {});
        if (player.calls.empty()) {
            return {};
        }
        if (player.calls.size() != 1) {
            return QStringLiteral("several");
        }
        const FakePlayer::Call& c = player.calls[0];
        if (c.file) {
            return QStringLiteral("file:") + QString::fromStdString(c.path.substr(data.size()));
        }
        for (int voice = 1; voice <= EingebauteStimmen; ++voice) {
            if (c.image == LadeAufnahme(wort, voice)) {
                return QStringLiteral("voice:%1").arg(voice);
            }
        }
        return QStringLiteral("unknown image");
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        data = tmp.path().toStdString() + "/";
    }
    void init() {
        for (const QString& f : QDir(tmp.path()).entryList(QDir::Files | QDir::System)) {
            QFile::remove(tmp.filePath(f));
        }
    }

    void builtIn_data() {
        QTest::addColumn<int>("voice");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("plays");
        QTest::newRow("Es") << 1 << "Es" << true;
        QTest::newRow("es") << 2 << "es" << true;
        QTest::newRow("ES") << 4 << "ES" << true;
        QTest::newRow("voice 0") << 0 << "ES" << false;
        QTest::newRow("voice 5") << 5 << "ES" << false;
        QTest::newRow("voice -1") << -1 << "ES" << false;
        QTest::newRow("not a recorded piece") << 1 << "drit" << false;
        QTest::newRow("empty name") << 1 << "" << false;
    }
    void builtIn() {
        QFETCH(int, voice);
        QFETCH(QString, name);
        QFETCH(bool, plays);
        FakeClock clock;
        FakePlayer player(clock);
        PlaySoundRes(player, voice, name.toStdString(), SND_ASYNC, {});
        QCOMPARE(player.calls.size(), plays ? 1u : 0u);
        if (plays) {
            QVERIFY(!player.calls[0].file);
            QCOMPARE(player.calls[0].image, LadeAufnahme("ES", voice));
        }
    }

    void externalVoiceSelected() {
        // Five entries, "Externe Stimme" selected; the folder lacks Uhr and has an empty zwei.
        Write("es.wav", "RIFF-es");
        Write("IST.WAV", "RIFF-ist");
        Write("zwei.wav", "");
        QCOMPARE(Played(4, 5, "Es"), "file:es.wav");
        QCOMPARE(Played(4, 5, "ist"), "file:IST.WAV");
        QCOMPARE(Played(4, 5, "Uhr"), ""); // voice 5 has no recording
        QCOMPARE(Played(4, 5, "zwei"), "");
        // Something there that is no readable file is handed on, for the player to fail on:
        // a recording that cannot be read, not a missing one.
        QVERIFY(::mkfifo((data + "zehn.wav").c_str(), 0644) == 0);
        QVERIFY(QDir(tmp.path()).mkpath("Acht.wav"));
        QCOMPARE(Played(4, 5, "zehn"), "file:zehn.wav");
        QCOMPARE(Played(4, 5, "acht"), "file:acht.wav");
        QVERIFY(QDir(tmp.path()).rmdir("Acht.wav"));
        // Any other voice of the five plays its own recordings, whatever the folder holds.
        QCOMPARE(Played(0, 5, "Es"), "voice:1");
        QCOMPARE(Played(2, 5, "ist"), "voice:3");
    }

    void computerVoiceIsLastOfFour() {
        // Four entries (no usable es.wav): the last one, voice 4, takes each file it finds.
        Write("es.wav", "");
        Write("Uhr.wav", "RIFF-uhr");
        QVERIFY(::mkfifo((data + "zwei.wav").c_str(), 0644) == 0);
        QCOMPARE(Played(3, 4, "Uhr"), "file:Uhr.wav");
        QCOMPARE(Played(3, 4, "UHR"), "file:Uhr.wav");
        QCOMPARE(Played(3, 4, "Es"), "voice:4");
        QCOMPARE(Played(3, 4, "zwei"), "voice:4");
        QCOMPARE(Played(3, 4, "ist"), "voice:4");
        QCOMPARE(Played(0, 4, "Uhr"), "voice:1");
        QCOMPARE(Played(-1, 4, "Uhr"), ""); // nothing selected
    }

    void folderProbedOnEveryCall() {
        QCOMPARE(Played(3, 4, "elf"), "voice:4");
        Write("elf.wav", "RIFF-elf");
        QCOMPARE(Played(3, 4, "elf"), "file:elf.wav");
        QFile::remove(tmp.filePath("elf.wav"));
        QCOMPARE(Played(3, 4, "elf"), "voice:4");
    }

    // The folder is looked for in every letter case at every call: one made or renamed while
    // the clock runs is found at the next piece. An unknown current directory has no folder.
    void folderCaseFoundOnEveryCall() {
        const std::string folder = data + "DATA/";
        const auto played = [&](const std::string& dir) {
            FakeClock clock;
            FakePlayer player(clock);
            SpieleWort(player, dir, 3, 4, "elf", {});
            return player.calls.empty() ? std::string() : player.calls[0].path;
        };
        QCOMPARE(played(folder), std::string());
        QVERIFY(QDir(tmp.path()).mkdir("data"));
        Write("data/Elf.wav", "RIFF-elf");
        QCOMPARE(played(folder), data + "data/Elf.wav");
        QVERIFY(QDir(tmp.path()).rename("data", "Data"));
        QCOMPARE(played(folder), data + "Data/Elf.wav");
        QCOMPARE(played(data + "data/"), data + "Data/Elf.wav");
        QVERIFY(QDir(tmp.filePath("Data")).removeRecursively());
        QCOMPARE(played(folder), std::string());
        QVERIFY(DatenPfad("").starts_with("./")); // never the root folder
    }
};

QTEST_GUILESS_MAIN(TestSagWort)
#include "tst_sagwort.moc"
