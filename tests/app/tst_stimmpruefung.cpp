// SPDX-License-Identifier: GPL-3.0-or-later
// tikkaru --check-voice: folders of one's own voice as a voice maker leaves them, the table
// PruefeStimme makes of them, and the verdict and exit status of the real program.
#include "mKatalog.h"
#include "mStimmBericht.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// 200 ms of sound: 20 ms of silence, a 440 Hz tone at half of full scale, 30 ms of silence
// (or the lengths given). A WAV file unless format names another container.
void SchreibeWav(const QString& pfad, int rate, int kanaele, int format, int ms = 200,
                 int vornMs = 20, int hintenMs = 30) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kanaele;
    info.format = (format & SF_FORMAT_TYPEMASK) != 0 ? format : SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(QFile::encodeName(pfad).constData(), SFM_WRITE, &info);
    QVERIFY2(f, sf_strerror(nullptr));
    const int frames = static_cast<int>(int64_t{rate} * ms / 1000);
    const int vorn = rate * vornMs / 1000;
    const int hinten = rate * hintenMs / 1000;
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

void SchreibeDatei(const QString& pfad, const QByteArray& inhalt) {
    QFile f(pfad);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(inhalt), inhalt.size());
}

// A 44-byte header of mono 16-bit 22.05 kHz (encoding 1, PCM), whose data chunk promises
// dataBytes, with the fmt chunk's encoding and the chunk names as given.
QByteArray WavKopf(quint32 dataBytes, quint16 kodierung = 1, const char* data = "data") {
    QByteArray k("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0"
                 "\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0data\0\0\0\0",
                 44);
    const auto le = [&k](int at, quint32 v, int n) {
        for (int i = 0; i < n; ++i) {
            k[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
        }
    };
    le(4, 36 + dataBytes, 4);
    le(20, kodierung, 2);
    k.replace(36, 4, data);
    le(40, dataBytes, 4);
    return k;
}

// n samples of a tone, 16-bit little-endian, to follow a WavKopf.
QByteArray Ton(int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) {
        const qint16 x = static_cast<qint16>(16000 * std::sin(i * 0.125));
        b.append(static_cast<char>(x & 0xFF)).append(static_cast<char>(x >> 8 & 0xFF));
    }
    return b;
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
    void folder_data();
    void folder();
    void formatAndLevels();
    void dataFolderWithoutArgument();
};

void TestStimmPruefung::folder_data() {
    QTest::addColumn<Aufbau>("aufbau");
    QTest::addColumn<Zustaende>("abweichend"); // pieces not "ok", with their state
    QTest::addColumn<QString>("dateiUhr");     // the name the table gives for the piece Uhr
    QTest::addColumn<QString>("hinweisUhr");   // and its hint
    QTest::addColumn<QString>("urteil");

    const QString alle = "Ergebnis: alle 27 Wortteile werden abgespielt.";
    const auto eins = [](const char* grund) {
        return QString("Ergebnis: 1 von 27 Wortteilen wird nicht abgespielt (%1: uhr).").arg(grund);
    };
    const auto uhr = [](const QByteArray& inhalt) {
        return Aufbau([inhalt](const QString& o) {
            Vollstaendig(o);
            SchreibeDatei(o + "/uhr.wav", inhalt);
        });
    };
    const QString keiner = "Ergebnis: 27 von 27 Wortteilen werden nicht abgespielt (fehlt: acht, "
                           "drei, ein, eine, eins, elf, es, fuenf, ist, neun, null, sech, sechs, "
                           "sekunde, sekunden, sieb, sieben, ssig, uhr, un, und, vier, zehn, zig, "
                           "zwan, zwei, zwoelf).";
    const Zustaende uhrFehlt{{"uhr", TeilZustand::Fehlt}};
    const Zustaende uhrDefekt{{"uhr", TeilZustand::NichtDekodierbar}};

    QTest::newRow("complete") << Aufbau(Vollstaendig) << Zustaende{} << "uhr.wav"
                              << "" << alle;
    QTest::newRow("one piece missing") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
    }) << uhrFehlt << ""
                                       << "" << eins("fehlt");
    QTest::newRow("empty file") << uhr({}) << Zustaende{{"uhr", TeilZustand::Leer}} << "uhr.wav"
                                << "" << eins("leer");
    QTest::newRow("FIFO") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        QCOMPARE(::mkfifo(QFile::encodeName(o + "/uhr.wav").constData(), 0644), 0);
    }) << Zustaende{{"uhr", TeilZustand::NichtLesbar}}
                          << "uhr.wav"
                          << "ist eine FIFO" << eins("nicht lesbar");
    QTest::newRow("directory named like a piece") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        QVERIFY(QDir(o).mkdir("Uhr.wav"));
    }) << Zustaende{{"uhr", TeilZustand::NichtLesbar}}
                                                  << "Uhr.wav"
                                                  << "ist ein Ordner" << eins("nicht lesbar");
    QByteArray zufall(4000, '\0');
    for (int i = 0; i < zufall.size(); ++i) {
        zufall[i] = static_cast<char>((i * 7919 + 13) % 251);
    }
    // Why a file does not decode, in German rather than in libsndfile's words.
    QTest::newRow("random bytes") << uhr(zufall) << uhrDefekt << "uhr.wav"
                                  << "weder WAV noch ein anderes Tonformat, das die Uhr liest"
                                  << eins("nicht dekodierbar");
    QTest::newRow("header without samples")
        << uhr(WavKopf(0)) << uhrDefekt << "uhr.wav"
        << "enthält keine Abtastwerte" << eins("nicht dekodierbar");
    QTest::newRow("no data chunk")
        << uhr(WavKopf(200, 1, "LIST") + QByteArray(200, '\0')) << uhrDefekt << "uhr.wav"
        << "WAV ohne data-Block" << eins("nicht dekodierbar");
    QTest::newRow("unknown encoding")
        << uhr(WavKopf(400, 0x1234) + QByteArray(400, '\x10')) << uhrDefekt << "uhr.wav"
        << "WAV-Kodierung 0x1234 mit 16 Bit wird nicht unterstützt" << eins("nicht dekodierbar");
    // It plays, but less than its header promises: 200 ms promised, 100 ms there.
    QTest::newRow("truncated") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        SchreibeDatei(o + "/uhr.wav", WavKopf(8820) + Ton(4410 / 2));
    }) << Zustaende{} << "uhr.wav"
                               << "abgeschnitten: laut Kopf 200 ms, vorhanden 100 ms" << alle;
    // A writer that streams leaves the size unknown; nothing is missing.
    QTest::newRow("data size unknown") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        SchreibeDatei(o + "/uhr.wav", WavKopf(0xFFFFFFFF) + Ton(2205));
    }) << Zustaende{} << "uhr.wav"
                                       << "" << alle;
    // The clock looks only for the .wav name; a sound under another name is pointed out.
    QTest::newRow("only uhr.flac") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        SchreibeWav(o + "/Uhr.flac", 22050, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    }) << uhrFehlt << ""
                                   << "nur Uhr.flac da; die Uhr spielt nur uhr.wav (Uhr.flac "
                                      "umbenennen genügt)"
                                   << eins("fehlt");
    QTest::newRow("only uhr.mp3 that is no sound") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        SchreibeDatei(o + "/uhr.mp3", "kein Ton");
        QVERIFY(QDir(o).mkdir("uhr.d"));
    }) << uhrFehlt << ""
                                                   << "nur uhr.mp3 da; die Uhr spielt nur uhr.wav"
                                                   << eins("fehlt");
    QTest::newRow("other letter case") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "UHR.WAV");
        Ersetze(o, "es.wav", "Es.Wav");
    }) << Zustaende{} << "UHR.WAV"
                                       << "" << alle;
    QTest::newRow("stereo 44.1 kHz float") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "uhr.wav", "");
        SchreibeWav(o + "/uhr.wav", 44100, 2, SF_FORMAT_FLOAT);
    }) << Zustaende{} << "uhr.wav"
                                           << "" << alle;
    // Formats the player refuses or would convert badly, and lengths no piece has.
    const auto uhrWav = [](int rate, int kanaele, int format, int ms) {
        return Aufbau([=](const QString& o) {
            Vollstaendig(o);
            Ersetze(o, "uhr.wav", "");
            SchreibeWav(o + "/uhr.wav", rate, kanaele, format, ms, 0, 0);
        });
    };
    QTest::newRow("1 Hz, 33 minutes")
        << uhrWav(1, 1, SF_FORMAT_PCM_16, 2000000) << uhrDefekt << "uhr.wav"
        << "Abtastrate 1 Hz nicht abspielbar (4000 bis 192000 Hz)" << eins("nicht dekodierbar");
    QTest::newRow("192 kHz, 8 channels float")
        << uhrWav(192000, 8, SF_FORMAT_FLOAT, 200) << uhrDefekt << "uhr.wav"
        << "zu viele Daten je Sekunde für den Tondienst (Abtastrate mal Kanäle zu groß)"
        << eins("nicht dekodierbar");
    QTest::newRow("9 channels") << uhrWav(22050, 9, SF_FORMAT_PCM_16, 200) << uhrDefekt << "uhr.wav"
                                << "9 Kanäle nicht abspielbar (1 bis 8)"
                                << eins("nicht dekodierbar");
    QTest::newRow("61 s") << uhrWav(8000, 1, SF_FORMAT_PCM_16, 61000) << uhrDefekt << "uhr.wav"
                          << "länger als 60 s, kein Wortteil" << eins("nicht dekodierbar");
    QTest::newRow("96 kHz, 8 channels 16 bit")
        << uhrWav(96000, 8, SF_FORMAT_PCM_16, 200) << Zustaende{} << "uhr.wav"
        << "" << alle;
    // Silence beyond 100 ms at either end is heard inside the sentence; it plays all the same.
    const auto uhrStille = [](int vornMs, int hintenMs) {
        return Aufbau([=](const QString& o) {
            Vollstaendig(o);
            Ersetze(o, "uhr.wav", "");
            SchreibeWav(o + "/uhr.wav", 22050, 1, SF_FORMAT_PCM_16, 150 + vornMs + hintenMs, vornMs,
                        hintenMs);
        });
    };
    QTest::newRow("2.3 s of silence at the end") << uhrStille(20, 2300) << Zustaende{} << "uhr.wav"
                                                 << "2300 ms Stille hinten" << alle;
    QTest::newRow("silence at both ends") << uhrStille(150, 120) << Zustaende{} << "uhr.wav"
                                          << "150 ms Stille vorn, 120 ms Stille hinten" << alle;
    QTest::newRow("100 ms at both ends: no hint") << uhrStille(95, 95) << Zustaende{} << "uhr.wav"
                                                  << "" << alle;
    QTest::newRow("several faults, es.wav among them") << Aufbau([](const QString& o) {
        Vollstaendig(o);
        Ersetze(o, "es.wav", "");
        Ersetze(o, "zig.wav", "");
        SchreibeDatei(o + "/null.wav", {});
    })
                                                       << Zustaende{{"es", TeilZustand::Fehlt},
                                                                    {"zig", TeilZustand::Fehlt},
                                                                    {"null", TeilZustand::Leer}}
                                                       << "uhr.wav"
                                                       << ""
                                                       << "Ergebnis: 3 von 27 Wortteilen werden "
                                                          "nicht abgespielt (fehlt: es, zig; "
                                                          "leer: null).";
    QTest::newRow("no folder") << Aufbau([](const QString& o) {
        QVERIFY(QDir(o).removeRecursively());
    }) << Zustaende{} << ""
                               << "" << keiner;
    QTest::newRow("a file instead of a folder") << Aufbau([](const QString& o) {
        QVERIFY(QDir(o).removeRecursively());
        SchreibeDatei(o, "kein Ordner");
    }) << Zustaende{} << ""
                                                << "" << keiner;
}

void TestStimmPruefung::folder() {
    QFETCH(Aufbau, aufbau);
    QFETCH(Zustaende, abweichend);
    QFETCH(QString, dateiUhr);
    QFETCH(QString, hinweisUhr);
    QFETCH(QString, urteil);

    QTemporaryDir arbeit;
    const QString ordner = arbeit.path() + "/stimme";
    QVERIFY(QDir(arbeit.path()).mkdir("stimme"));
    aufbau(ordner);
    if (QTest::currentTestFailed()) {
        return;
    }
    const bool keinOrdner = !QDir(ordner).exists();
    const bool datei = QFileInfo(ordner).isFile();

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
            QCOMPARE(QString::fromStdString(t.Hinweis), hinweisUhr);
        }
    }

    const Lauf lauf = Pruefe(arbeit.path(), {ordner});
    QCOMPARE(lauf.status, urteil == "Ergebnis: alle 27 Wortteile werden abgespielt." ? 0 : 1);
    QCOMPARE(LetzteZeile(lauf.ausgabe), urteil);
    // The line under the folder's name says what is wrong with the folder itself.
    QCOMPARE(lauf.ausgabe.section('\n', 1, 1), datei ? "Das ist kein Ordner, sondern eine Datei."
                                               : keinOrdner ? "Diesen Ordner gibt es nicht."
                                                            : "");
    QCOMPARE(lauf.ausgabe, QString::fromStdString(StimmBericht(p)));
    // Whether the window would offer the voice at all hangs on es.wav.
    QCOMPARE(lauf.ausgabe.contains("Externe Stimme"), keinOrdner || abweichend.count("es") == 1);
}

// What the table tells of a file that plays: its format as decoded, its length, its levels
// and the silence at both ends (see SchreibeWav).
void TestStimmPruefung::formatAndLevels() {
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
void TestStimmPruefung::dataFolderWithoutArgument() {
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
