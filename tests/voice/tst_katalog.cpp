// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundDecoder.h"
#include "mKatalog.h"

#include <QDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

// The embedded catalogue as its data file describes it: the names, and per voice the sample
// rate, the length of its 27 pieces together (each voice keeps its pace) and whether ZIG and
// SSIG are one recording.
namespace {

quint32 u32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 u16(const QByteArray& b, int at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}

std::vector<qint16> samples(const QByteArray& wav) {
    const qsizetype n = u32(wav, 40) / 2;
    std::vector<qint16> s(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        s[static_cast<size_t>(i)] = qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * i);
    return s;
}

double rmsDb(const std::vector<qint16>& s) {
    double sum = 0;
    for (qint16 v : s)
        sum += double(v) * v;
    return 20 * std::log10(std::sqrt(sum / double(s.size())) / 32768.0);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Length in seconds and RMS levels (dBFS) of the 27 recordings of one voice.
struct Summe {
    double sekunden = 0;
    std::vector<double> pegel;
    double median = 0;
};

Summe summe(int stimme) {
    Summe s;
    for (std::string_view name : WortTeile) {
        const QByteArray wav = LadeAufnahme(std::string(name), stimme);
        const std::vector<qint16> x = samples(wav);
        s.sekunden += double(x.size()) / StimmKatalog[stimme - 1].Rate;
        s.pegel.push_back(rmsDb(x));
    }
    s.median = median(s.pegel);
    return s;
}

} // namespace

class TestKatalog : public QObject {
    Q_OBJECT
private slots:
    void names();
    void recording_data();
    void recording();
    void voice_data();
    void voice();
    void loudness();
    void lookup_data();
    void lookup();
};

// The exported names and the embedded files are exactly the 27 pieces in four voices.
void TestKatalog::names() {
    QCOMPARE(WortTeile.size(), 27u);
    QVERIFY(std::is_sorted(WortTeile.begin(), WortTeile.end()));
    QVERIFY(std::adjacent_find(WortTeile.begin(), WortTeile.end()) == WortTeile.end());
    QCOMPARE(StimmKatalog.size(), 4u);
    for (int stimme = 1; stimme <= 4; ++stimme) {
        QCOMPARE(StimmKatalog[stimme - 1].Nummer, stimme);
        QVERIFY(StimmKatalog[stimme - 1].Eintrag.starts_with("Stimme #" + std::to_string(stimme)));
    }
    QCOMPARE(QDir(":/voices").entryList(), QStringList({"1", "2", "3", "4"}));
    QStringList erwartet;
    for (std::string_view name : WortTeile)
        erwartet << QString::fromLatin1(name.data(), qsizetype(name.size())) + ".wav";
    for (int stimme = 1; stimme <= 4; ++stimme)
        QCOMPARE(QDir(QStringLiteral(":/voices/%1").arg(stimme)).entryList(QDir::Files), erwartet);
}

void TestKatalog::recording_data() {
    QTest::addColumn<int>("stimme");
    QTest::addColumn<QString>("name");
    for (int stimme = 1; stimme <= 4; ++stimme)
        for (std::string_view name : WortTeile)
            QTest::addRow("%d/%s", stimme, name.data())
                << stimme << QString::fromLatin1(name.data(), qsizetype(name.size()));
}

// Format, edges and peak of one recording, and that the decoder reads all of it.
void TestKatalog::recording() {
    QFETCH(int, stimme);
    QFETCH(QString, name);
    const QByteArray wav = LadeAufnahme(name.toStdString(), stimme);
    QVERIFY(wav.size() > 44);

    const quint32 rate = quint32(StimmKatalog[stimme - 1].Rate);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(u32(wav, 4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(u32(wav, 16), 16u);
    QCOMPARE(u16(wav, 20), 1); // PCM
    QCOMPARE(u16(wav, 22), 1); // mono
    QCOMPARE(u32(wav, 24), rate);
    QCOMPARE(u32(wav, 28), 2 * rate);
    QCOMPARE(u16(wav, 32), 2);  // block align
    QCOMPARE(u16(wav, 34), 16); // bits
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    const quint32 daten = u32(wav, 40);
    QVERIFY(daten % 2 == 0);
    QVERIFY(44 + qsizetype(daten) <= wav.size());
    // A syllable or two: a cut that lost its piece or ran into the next words is neither.
    const double ms = 1000.0 * daten / (2 * rate);
    QVERIFY2(ms >= 80 && ms <= 1000, qPrintable(QString::number(ms)));

    // Anything after the samples is whole chunks, each id and size inside the file.
    for (qsizetype at = 44 + daten; at < wav.size();) {
        QVERIFY2(at + 8 <= wav.size(), "cut-off chunk header after the samples");
        at += 8 + u32(wav, int(at + 4));
        at += at % 2;
        QVERIFY2(at <= wav.size(), "chunk after the samples runs past the end");
    }

    // Trimmed (at most 20 ms before and 40 ms after quieter than -40 dBFS), no full scale,
    // and no click: the first and the last sample are themselves below -40 dBFS.
    const std::vector<qint16> s = samples(wav);
    auto laut = [](qint16 v) { return std::abs(int(v)) >= 328; };
    const auto erster = std::find_if(s.begin(), s.end(), laut);
    QVERIFY(erster != s.end());
    const auto letzter = std::find_if(s.rbegin(), s.rend(), laut);
    QVERIFY2(1000.0 * double(erster - s.begin()) / rate <= 20, "silence at the start");
    QVERIFY2(1000.0 * double(letzter - s.rbegin()) / rate <= 40, "silence at the end");
    QVERIFY2(!laut(s.front()) && !laut(s.back()), "starts or ends loud: a click at the join");
    QVERIFY2(std::none_of(s.begin(), s.end(), [](qint16 v) { return std::abs(int(v)) >= 32767; }),
             "sample at full scale");

    // The player's decoder opens the image and reads exactly these samples; a trailing chunk
    // is no bother. It keeps the image itself: the caller's array may go at once.
    SoundDecoder dec = SoundDecoder::OpenImage(QByteArray(wav.constData(), wav.size()));
    QVERIFY2(dec.Ok(), dec.Error().c_str());
    QCOMPARE(dec.SampleRate(), int(rate));
    QCOMPARE(dec.Channels(), 1);
    QCOMPARE(dec.Frames(), int64_t(s.size()));
    QVERIFY(dec.FitsSixteenBits());
    std::vector<int16_t> gelesen(s.size() + 16);
    const int64_t n = dec.ReadShorts(gelesen.data(), int64_t(gelesen.size()));
    QCOMPARE(n, int64_t(s.size()));
    QVERIFY(std::equal(s.begin(), s.end(), gelesen.begin()));
}

void TestKatalog::voice_data() {
    QTest::addColumn<int>("stimme");
    for (int stimme = 1; stimme <= 4; ++stimme)
        QTest::addRow("%d", stimme) << stimme;
}

// The voice's pace (its 27 pieces within 15 % of their length of old), the shared or
// separate ZIG/SSIG, and loudness that follows speech without a piece standing out.
void TestKatalog::voice() {
    QFETCH(int, stimme);
    const EingebauteStimme& d = StimmKatalog[stimme - 1];
    const Summe sum = summe(stimme);
    QVERIFY2(std::abs(sum.sekunden / d.Sekunden - 1) <= 0.15,
             qPrintable(QString::number(sum.sekunden)));

    const QByteArray zig = LadeAufnahme("ZIG", stimme);
    const QByteArray ssig = LadeAufnahme("SSIG", stimme);
    if (d.ZigGleichSsig)
        QCOMPARE(zig, ssig);
    else
        QVERIFY(samples(zig) != samples(ssig));

    for (size_t i = 0; i < sum.pegel.size(); ++i)
        QVERIFY2(std::abs(sum.pegel[i] - sum.median) <= 6, WortTeile[i].data());
}

// The four voices are equally loud.
void TestKatalog::loudness() {
    std::vector<double> medians;
    for (int stimme = 1; stimme <= 4; ++stimme)
        medians.push_back(summe(stimme).median);
    const auto [lo, hi] = std::minmax_element(medians.begin(), medians.end());
    QVERIFY(*hi - *lo <= 2);
}

void TestKatalog::lookup_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stimme");
    QTest::addColumn<QString>("findet"); // catalogue name, or empty for nothing

    QTest::newRow("Es") << "Es" << 1 << "ES";
    QTest::newRow("es") << "es" << 2 << "ES";
    QTest::newRow("ES") << "ES" << 3 << "ES";
    QTest::newRow("eS") << "eS" << 4 << "ES";
    QTest::newRow("zwoelf") << "zwoelf" << 1 << "ZWOELF";
    QTest::newRow("Sekunden") << "Sekunden" << 4 << "SEKUNDEN";
    QTest::newRow("Sekunde is not Sekunden") << "Sekunde" << 2 << "SEKUNDE";

    QTest::newRow("ordinal piece") << "drit" << 1 << "";
    QTest::newRow("empty") << "" << 1 << "";
    QTest::newRow("with blank") << "Es " << 1 << "";
    QTest::newRow("with extension") << "es.wav" << 1 << "";
    QTest::newRow("umlaut") << "zwölf" << 1 << "";
    QTest::newRow("path") << "../1/ES" << 2 << "";
    QTest::newRow("absolute path") << ":/voices/1/ES.wav" << 1 << "";
    QTest::newRow("resource folder") << "." << 1 << "";

    QTest::newRow("voice 0") << "Es" << 0 << "";
    QTest::newRow("voice 5") << "Es" << 5 << "";
    QTest::newRow("voice -1") << "Es" << -1 << "";
    QTest::newRow("voice INT_MIN") << "Es" << INT_MIN << "";
    QTest::newRow("voice INT_MAX") << "Es" << INT_MAX << "";
}

void TestKatalog::lookup() {
    QFETCH(QString, name);
    QFETCH(int, stimme);
    QFETCH(QString, findet);
    const QByteArray wav = LadeAufnahme(name.toStdString(), stimme);
    if (findet.isEmpty()) {
        QVERIFY(wav.isEmpty());
        return;
    }
    QFile datei(QStringLiteral(":/voices/%1/%2.wav").arg(stimme).arg(findet));
    QVERIFY(datei.open(QIODevice::ReadOnly));
    QCOMPARE(wav, datei.readAll());
}

QTEST_GUILESS_MAIN(TestKatalog)
#include "tst_katalog.moc"
