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

// The catalogue as it must be: names, lengths in ms per voice, and the figures per voice.
namespace {

struct Zeile {
    const char* name;
    int ms[4];
};

const Zeile kLaengen[27] = {
    {"ACHT", {180, 331, 135, 334}},     {"DREI", {250, 255, 276, 306}},
    {"EIN", {148, 245, 251, 292}},      {"EINE", {296, 330, 306, 286}},
    {"EINS", {384, 448, 240, 557}},     {"ELF", {314, 380, 370, 301}},
    {"ES", {157, 260, 125, 366}},       {"FUENF", {337, 526, 402, 530}},
    {"IST", {329, 277, 220, 400}},      {"NEUN", {285, 404, 335, 410}},
    {"NULL", {212, 422, 249, 260}},     {"SECH", {272, 300, 220, 409}},
    {"SECHS", {352, 340, 319, 522}},    {"SEKUNDE", {650, 655, 518, 777}},
    {"SEKUNDEN", {747, 693, 548, 770}}, {"SIEB", {245, 270, 220, 321}},
    {"SIEBEN", {344, 502, 425, 420}},   {"SSIG", {174, 450, 324, 380}},
    {"UHR", {450, 209, 334, 598}},      {"UN", {127, 140, 181, 200}},
    {"UND", {400, 260, 233, 329}},      {"VIER", {158, 266, 341, 288}},
    {"ZEHN", {419, 395, 351, 394}},     {"ZIG", {274, 405, 324, 380}},
    {"ZWAN", {318, 270, 243, 467}},     {"ZWEI", {266, 400, 328, 373}},
    {"ZWOELF", {555, 469, 463, 552}},
};

struct StimmDaten {
    int rate;
    int mitList;
    int bytes;
    int zigSsig; // bytes of the shared ZIG/SSIG recording, 0 when they differ
};

const StimmDaten kStimmen[4] = {
    {22050, 0, 382312, 0},
    {22050, 26, 439892, 0},
    {16000, 25, 268066, 10428},
    {12000, 11, 271298, 9168},
};

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

// Bytes, LIST chunks and RMS levels (dBFS) of the 27 recordings of one voice.
struct Summe {
    qsizetype bytes = 0;
    int mitList = 0;
    std::vector<double> pegel;
    double median = 0;
};

Summe summe(int stimme) {
    Summe s;
    for (std::string_view name : WortTeile) {
        const QByteArray wav = LadeAufnahme(std::string(name), stimme);
        s.bytes += wav.size();
        s.mitList += wav.size() > 44 + qsizetype(u32(wav, 40));
        s.pegel.push_back(rmsDb(samples(wav)));
    }
    s.median = median(s.pegel);
    return s;
}

} // namespace

class TestKatalog : public QObject {
    Q_OBJECT
private slots:
    void namen();
    void aufnahme_data();
    void aufnahme();
    void stimme_data();
    void stimme();
    void lautstaerkeUndGesamt();
    void suche_data();
    void suche();
};

// The exported names and the embedded files are exactly the 27 pieces in four voices.
void TestKatalog::namen() {
    QCOMPARE(WortTeile.size(), std::size(kLaengen));
    for (size_t i = 0; i < WortTeile.size(); ++i)
        QCOMPARE(QByteArray(WortTeile[i].data(), qsizetype(WortTeile[i].size())),
                 QByteArray(kLaengen[i].name));
    QCOMPARE(QDir(":/voices").entryList(), QStringList({"1", "2", "3", "4"}));
    QStringList erwartet;
    for (const Zeile& z : kLaengen)
        erwartet << QString::fromLatin1(z.name) + ".wav";
    for (int stimme = 1; stimme <= 4; ++stimme)
        QCOMPARE(QDir(QStringLiteral(":/voices/%1").arg(stimme)).entryList(QDir::Files), erwartet);
}

void TestKatalog::aufnahme_data() {
    QTest::addColumn<int>("stimme");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ms");
    for (int stimme = 1; stimme <= 4; ++stimme)
        for (const Zeile& z : kLaengen)
            QTest::addRow("%d/%s", stimme, z.name) << stimme << z.name << z.ms[stimme - 1];
}

// Format, length, edges and peak of one recording, and that the decoder reads all of it.
void TestKatalog::aufnahme() {
    QFETCH(int, stimme);
    QFETCH(QString, name);
    QFETCH(int, ms);
    const QByteArray wav = LadeAufnahme(name.toStdString(), stimme);
    QVERIFY(wav.size() > 44);

    const quint32 rate = quint32(kStimmen[stimme - 1].rate);
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

    // The length rounds to the table's millisecond.
    const double laenge = 1000.0 * daten / (2 * rate);
    QVERIFY2(std::abs(laenge - ms) <= 0.5, qPrintable(QString::number(laenge)));

    // After the samples: nothing, or the 74-byte LIST/INFO chunk with one ISFT tag.
    const QByteArray rest = wav.mid(44 + daten);
    if (!rest.isEmpty()) {
        QCOMPARE(rest.size(), 74);
        QCOMPARE(rest.left(4), QByteArray("LIST"));
        QCOMPARE(u32(rest, 4), 66u);
        QCOMPARE(rest.mid(8, 8), QByteArray("INFOISFT"));
        QCOMPARE(u32(rest, 16), 54u);
        QVERIFY(rest.endsWith('\0'));
    }

    // Trimmed (at most 20 ms before and 40 ms after quieter than -40 dBFS), no full scale.
    const std::vector<qint16> s = samples(wav);
    auto laut = [](qint16 v) { return std::abs(int(v)) >= 328; };
    const auto erster = std::find_if(s.begin(), s.end(), laut);
    QVERIFY(erster != s.end());
    const auto letzter = std::find_if(s.rbegin(), s.rend(), laut);
    QVERIFY2(1000.0 * double(erster - s.begin()) / rate <= 20, "silence at the start");
    QVERIFY2(1000.0 * double(letzter - s.rbegin()) / rate <= 40, "silence at the end");
    QVERIFY2(std::none_of(s.begin(), s.end(), [](qint16 v) { return std::abs(int(v)) >= 32767; }),
             "sample at full scale");

    // The player's decoder opens the image and reads exactly these samples; the LIST chunk
    // is no bother.
    SoundDecoder dec = SoundDecoder::OpenImage(wav);
    QVERIFY2(dec.ok(), dec.error().c_str());
    QCOMPARE(dec.sampleRate(), int(rate));
    QCOMPARE(dec.channels(), 1);
    QCOMPARE(dec.frames(), int64_t(s.size()));
    QVERIFY(dec.fitsSixteenBits());
    std::vector<int16_t> gelesen(s.size() + 16);
    const int64_t n = dec.readShorts(gelesen.data(), int64_t(gelesen.size()));
    QCOMPARE(n, int64_t(s.size()));
    QVERIFY(std::equal(s.begin(), s.end(), gelesen.begin()));
}

void TestKatalog::stimme_data() {
    QTest::addColumn<int>("stimme");
    for (int stimme = 1; stimme <= 4; ++stimme)
        QTest::addRow("%d", stimme) << stimme;
}

// Byte total, LIST count, the shared or separate ZIG/SSIG, and even loudness within a voice.
void TestKatalog::stimme() {
    QFETCH(int, stimme);
    const StimmDaten& d = kStimmen[stimme - 1];
    const Summe sum = summe(stimme);
    QCOMPARE(sum.bytes, qsizetype(d.bytes));
    QCOMPARE(sum.mitList, d.mitList);

    const QByteArray zig = LadeAufnahme("ZIG", stimme);
    const QByteArray ssig = LadeAufnahme("SSIG", stimme);
    if (d.zigSsig) {
        QCOMPARE(zig, ssig);
        QCOMPARE(zig.size(), qsizetype(d.zigSsig));
    } else {
        QVERIFY(samples(zig) != samples(ssig));
    }

    for (size_t i = 0; i < sum.pegel.size(); ++i)
        QVERIFY2(std::abs(sum.pegel[i] - sum.median) <= 2, WortTeile[i].data());
}

// The four voices are equally loud, and the catalogue is 1,361,568 bytes in all.
void TestKatalog::lautstaerkeUndGesamt() {
    std::vector<double> medians;
    qsizetype bytes = 0;
    for (int stimme = 1; stimme <= 4; ++stimme) {
        const Summe sum = summe(stimme);
        bytes += sum.bytes;
        medians.push_back(sum.median);
    }
    QCOMPARE(bytes, qsizetype(1361568));
    const auto [lo, hi] = std::minmax_element(medians.begin(), medians.end());
    QVERIFY(*hi - *lo <= 2);
}

void TestKatalog::suche_data() {
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

void TestKatalog::suche() {
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
