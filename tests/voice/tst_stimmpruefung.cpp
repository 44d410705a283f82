// SPDX-License-Identifier: GPL-3.0-or-later
// tikkaru --check-voice: folders of one's own voice as a voice maker leaves them, the table
// PruefeStimme makes of them, and the verdict and exit status of the real program.
#include "mKatalog.h"
#include "mStimmPruefung.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <vector>

namespace {

// 200 ms of sound: 20 ms of silence, a 440 Hz tone at half of full scale, 30 ms of silence.
void SchreibeWav(const QString& pfad, int rate, int kanaele, int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kanaele;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(QFile::encodeName(pfad).constData(), SFM_WRITE, &info);
    QVERIFY2(f, sf_strerror(nullptr));
    const int frames = rate / 5;
    const int vorn = rate / 50;
    const int hinten = rate * 3 / 100;
    std::vector<float> s(static_cast<std::size_t>(frames * kanaele), 0.0f);
    for (int i = vorn; i < frames - hinten; ++i) {
        const double x = 0.5 * std::sin(2 * std::numbers::pi * 440.0 * i / rate);
        for (int k = 0; k < kanaele; ++k) {
            s[static_cast<std::size_t>(i * kanaele + k)] = static_cast<float>(x);
        }
    }
    QCOMPARE(sf_writef_float(f, s.data(), frames), static_cast<sf_count_t>(frames));
    sf_close(f);
}

// A complete voice: the 27 pieces as mono 16-bit 22.05 kHz files with lower-case names.
void Vollstaendig(const QString& ordner) {
    for (const std::string_view name : WortTeile) {
        SchreibeWav(ordner + "/" + QString::fromLatin1(name.data(), name.size()).toLower() + ".wav",
                    22050, 1, SF_FORMAT_PCM_16);
    }
}

void Ersetze(const QString& ordner, const QString& alt, const QString& neu) {
    QVERIFY(QFile::remove(ordner + "/" + alt));
    if (!neu.isEmpty()) {
        SchreibeWav(ordner + "/" + neu, 22050, 1, SF_FORMAT_PCM_16);
    }
}

struct Lauf {
    int status = -1;
    QString ausgabe;
};

// The real program, in the folder arbeit, with the given arguments.
Lauf Pruefe(const QString& arbeit, const QStringList& argumente) {
    QProcess p;
    p.setWorkingDirectory(arbeit);
    // No display and no sound server: the check needs neither.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("PULSE_SERVER", "unix:/nonexistent");
    env.insert("XDG_CONFIG_HOME", arbeit + "/config");
    p.setProcessEnvironment(env);
    p.start(TIKKARU_EXE, QStringList{"--check-voice"} + argumente);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput())};
}

QString LetzteZeile(const QString& text) {
    return text.trimmed().split('\n').last();
}

using Zustaende = std::map<QString, TeilZustand>;
using Aufbau = std::function<void(const QString&)>;

} // namespace

Q_DECLARE_METATYPE(Zustaende)
Q_DECLARE_METATYPE(Aufbau)

class TestStimmPruefung : public QObject {
    Q_OBJECT
private slots:
    void ordner_data();
    void ordner();
    void formatUndPegel();
    void datenOrdnerOhneArgument();
};

void TestStimmPruefung::ordner_data() {
    QTest::addColumn<Aufbau>("aufbau");
    QTest::addColumn<Zustaende>("abweichend"); // pieces not "ok", with their state
    QTest::addColumn<QString>("dateiUhr");     // the name the table gives for the piece Uhr
    QTest::addColumn<QString>("urteil");

    const QString alle = "Ergebnis: alle 27 Wortteile werden abgespielt.";
    const auto eins = [](const char* grund) {
        return QString("Ergebnis: 1 von 27 Wortteilen wird nicht abgespielt (%1: uhr).").arg(grund);
    };
    QTest::newRow("complete") << Aufbau(Vollstaendig) << Zustaende{} << "uhr.wav" << alle;
    QTest::newRow("one piece missing") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
    }) << Zustaende{{"uhr", TeilZustand::Fehlt}}
                                       << "" << eins("fehlt");
    QTest::newRow("empty file") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        QFile f(o + "/uhr.wav");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }) << Zustaende{{"uhr", TeilZustand::Leer}}
                                << "uhr.wav" << eins("leer");
    QTest::newRow("FIFO") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        QCOMPARE(::mkfifo(QFile::encodeName(o + "/uhr.wav").constData(), 0644), 0);
    }) << Zustaende{{"uhr", TeilZustand::NichtLesbar}}
                          << "uhr.wav" << eins("nicht lesbar");
    QTest::newRow("directory named like a piece") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        QVERIFY(QDir(o).mkdir("Uhr.wav"));
    }) << Zustaende{{"uhr", TeilZustand::NichtLesbar}}
                                                  << "Uhr.wav" << eins("nicht lesbar");
    QTest::newRow("random bytes") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        QFile f(o + "/uhr.wav");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray b(4000, '\0');
        for (int i = 0; i < b.size(); ++i) {
            b[i] = static_cast<char>((i * 7919 + 13) % 251);
        }
        f.write(b);
    }) << Zustaende{{"uhr", TeilZustand::NichtDekodierbar}}
                                  << "uhr.wav" << eins("nicht dekodierbar");
    QTest::newRow("header without samples") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        // A canonical 44-byte header, mono 16-bit 22.05 kHz, whose data chunk is empty.
        const QByteArray kopf("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0"
                              "\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0data\0\0\0\0",
                              44);
        QFile f(o + "/uhr.wav");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(kopf);
    }) << Zustaende{{"uhr", TeilZustand::NichtDekodierbar}}
                                            << "uhr.wav" << eins("nicht dekodierbar");
    QTest::newRow("other letter case") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "UHR.WAV");
        Ersetze(o, "es.wav", "Es.Wav");
    }) << Zustaende{} << "UHR.WAV" << alle;
    QTest::newRow("stereo 44.1 kHz float") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        SchreibeWav(o + "/uhr.wav", 44100, 2, SF_FORMAT_FLOAT);
    }) << Zustaende{} << "uhr.wav" << alle;
    QTest::newRow("several faults, es.wav among them") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "es.wav", "");
        Ersetze(o, "zig.wav", "");
        QFile f(o + "/null.wav");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    })
                                                       << Zustaende{{"es", TeilZustand::Fehlt},
                                                                    {"zig", TeilZustand::Fehlt},
                                                                    {"null", TeilZustand::Leer}}
                                                       << "uhr.wav"
                                                       << "Ergebnis: 3 von 27 Wortteilen werden "
                                                          "nicht abgespielt (fehlt: es, zig; "
                                                          "leer: null).";
    QTest::newRow("no folder") << Aufbau([](const QString& o) {
        QVERIFY(QDir(o).removeRecursively());
    }) << Zustaende{} << ""
                               << "Ergebnis: 27 von 27 Wortteilen werden nicht abgespielt (fehlt: "
                                  "acht, drei, ein, eine, eins, elf, es, fuenf, ist, neun, null, "
                                  "sech, sechs, sekunde, sekunden, sieb, sieben, ssig, uhr, un, "
                                  "und, vier, zehn, zig, zwan, zwei, zwoelf).";
}

void TestStimmPruefung::ordner() {
    QFETCH(Aufbau, aufbau);
    QFETCH(Zustaende, abweichend);
    QFETCH(QString, dateiUhr);
    QFETCH(QString, urteil);

    QTemporaryDir arbeit;
    const QString ordner = arbeit.path() + "/stimme";
    QVERIFY(QDir(arbeit.path()).mkdir("stimme"));
    aufbau(ordner);
    if (QTest::currentTestFailed()) {
        return;
    }
    const bool keinOrdner = !QDir(ordner).exists();

    const StimmPruefung p = PruefeStimme(ordner.toStdString());
    QCOMPARE(p.Teile.size(), std::size_t(27));
    QCOMPARE(p.OrdnerDa, !keinOrdner);
    for (const TeilPruefung& t : p.Teile) {
        const QString wort = QString::fromStdString(t.Wort);
        const auto it = abweichend.find(wort);
        const TeilZustand erwartet = keinOrdner               ? TeilZustand::Fehlt
                                     : it != abweichend.end() ? it->second
                                                              : TeilZustand::Ok;
        QVERIFY2(t.Zustand == erwartet, qPrintable(wort + ": " + ZustandText(t.Zustand) +
                                                   ", erwartet " + ZustandText(erwartet)));
        if (wort == "uhr") {
            QCOMPARE(QString::fromStdString(t.Datei), dateiUhr);
        }
    }

    const Lauf lauf = Pruefe(arbeit.path(), {ordner});
    QCOMPARE(lauf.status, urteil == "Ergebnis: alle 27 Wortteile werden abgespielt." ? 0 : 1);
    QCOMPARE(LetzteZeile(lauf.ausgabe), urteil);
    QCOMPARE(lauf.ausgabe, QString::fromStdString(StimmBericht(p)));
    // Whether the window would offer the voice at all hangs on es.wav.
    QCOMPARE(lauf.ausgabe.contains("Externe Stimme"), keinOrdner || abweichend.count("es") == 1);
}

// What the table tells of a file that plays: its format as decoded, its length, its levels
// and the silence at both ends (see SchreibeWav).
void TestStimmPruefung::formatUndPegel() {
    QTemporaryDir arbeit;
    Vollstaendig(arbeit.path());
    QVERIFY(QFile::remove(arbeit.path() + "/uhr.wav"));
    SchreibeWav(arbeit.path() + "/uhr.wav", 44100, 2, SF_FORMAT_FLOAT);

    const StimmPruefung p = PruefeStimme(arbeit.path().toStdString());
    for (const TeilPruefung& t : p.Teile) {
        const bool uhr = t.Wort == "uhr";
        QCOMPARE(t.Rate, uhr ? 44100 : 22050);
        QCOMPARE(t.Kanaele, uhr ? 2 : 1);
        QCOMPARE(QString::fromStdString(t.Format), uhr ? "Float 32" : "PCM 16");
        QCOMPARE(t.LaengeMs, 200.0);
        // A sine of amplitude 0.5 for 150 of the 200 ms: peak -6.0 dBFS, RMS -9.0 dBFS over
        // the tone, 1.2 dB less over the whole file.
        QVERIFY(std::abs(t.SpitzeDb + 6.02) < 0.05);
        QVERIFY(std::abs(t.RmsDb + 10.28) < 0.05);
        // The tone starts and ends near a zero crossing, so a few samples more are silent.
        QVERIFY(t.StilleAnfangMs >= 20 && t.StilleAnfangMs < 21);
        QVERIFY(t.StilleEndeMs > 29.9 && t.StilleEndeMs < 31); // 661 frames at 22.05 kHz
    }
    const QString bericht = QString::fromStdString(StimmBericht(p));
    QVERIFY(bericht.contains("44100 Hz stereo Float 32"));
    QVERIFY(bericht.contains("22050 Hz mono PCM 16"));
}

// Without a folder argument the DATA folder of the current directory is checked, found
// without regard to case as the window finds it; nothing is written there or elsewhere.
void TestStimmPruefung::datenOrdnerOhneArgument() {
    QTemporaryDir arbeit;
    QVERIFY(QDir(arbeit.path()).mkdir("Data"));
    Vollstaendig(arbeit.path() + "/Data");
    const QStringList vorher = QDir(arbeit.path()).entryList(QDir::AllEntries | QDir::Hidden);

    const Lauf lauf = Pruefe(arbeit.path(), {});
    QCOMPARE(lauf.status, 0);
    QVERIFY(lauf.ausgabe.startsWith("Stimmordner: " + arbeit.path() + "/Data/\n"));
    QCOMPARE(QDir(arbeit.path()).entryList(QDir::AllEntries | QDir::Hidden), vorher);

    QVERIFY(QFile::remove(arbeit.path() + "/Data/zwei.wav"));
    QCOMPARE(Pruefe(arbeit.path(), {}).status, 1);
}

QTEST_GUILESS_MAIN(TestStimmPruefung)
#include "tst_stimmpruefung.moc"
