// SPDX-License-Identifier: GPL-3.0-or-later
#include "mZeitSatz.h"

#include <QTest>

#include <set>
#include <string>

class TestZeitSatz : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data();
    void workedExamples();
    void allTimes();
    void invalidTimeTexts_data();
    void invalidTimeTexts();
};

void TestZeitSatz::workedExamples_data() {
    QTest::addColumn<QString>("zeit");
    QTest::addColumn<bool>("sekunden");
    QTest::addColumn<bool>("minuteOderStunde");
    QTest::addColumn<QString>("anzeige");
    QTest::addColumn<QString>("gesprochen");
    auto zeile = [](const char* name, const char* zeit, bool sek, bool mOderS, const char* a,
                    const char* g) {
        QTest::newRow(name) << QString(zeit) << sek << mOderS << QString::fromUtf8(a)
                            << QString::fromUtf8(g);
    };
    for (bool mOderS : {false, true}) {
        const char* m = mOderS ? " minute/hour" : " other";
        zeile(qPrintable(QString("12:23:05 plain") + m), "12:23:05", false, mOderS,
              " Es ist  zwölf  Uhr  drei-und-zwan-zig.",
              " Es ist ~ zwoelf  Uhr  drei-un-zwan-zig.");
        zeile(qPrintable(QString("12:23:05 seconds") + m), "12:23:05", true, mOderS,
              " Es ist  zwölf  Uhr  drei-und-zwan-zig  und  fünf  Sekunden.",
              " Es ist ~ zwoelf  Uhr  drei-un-zwan-zig ~ und ~ fuenf  Sekunden.");
        zeile(qPrintable(QString("00:00:00 plain") + m), "00:00:00", false, mOderS,
              " Es ist  null  Uhr.", " Es ist ~ null  Uhr.");
        zeile(qPrintable(QString("01:01:01 seconds") + m), "01:01:01", true, mOderS,
              " Es ist  ein  Uhr  eins  und  eine  Sekunde.",
              " Es ist ~ ein  Uhr  eins ~ und ~ eine  Sekunde.");
        zeile(qPrintable(QString("13:00:00 plain") + m), "13:00:00", false, mOderS,
              " Es ist  drei-zehn  Uhr.", " Es ist ~ drei-zehn  Uhr.");
        zeile(qPrintable(QString("16:17:21 seconds") + m), "16:17:21", true, mOderS,
              " Es ist  sech-zehn  Uhr  sieb-zehn  und  ein-und-zwan-zig  Sekunden.",
              " Es ist ~ sech-zehn  Uhr  sieb-zehn ~ und ~ ein-un-zwan-zig  Sekunden.");
    }
    // At second 0 the minute and hour modes drop the spoken seconds; the display keeps them.
    zeile("00:00:00 seconds other", "00:00:00", true, false,
          " Es ist  null  Uhr  und  null  Sekunden.",
          " Es ist ~ null  Uhr ~ und ~ null  Sekunden.");
    zeile("00:00:00 seconds minute/hour", "00:00:00", true, true,
          " Es ist  null  Uhr  und  null  Sekunden.", " Es ist ~ null  Uhr.");
    zeile("13:00:00 seconds other", "13:00:00", true, false,
          " Es ist  drei-zehn  Uhr  und  null  Sekunden.",
          " Es ist ~ drei-zehn  Uhr ~ und ~ null  Sekunden.");
    zeile("13:00:00 seconds minute/hour", "13:00:00", true, true,
          " Es ist  drei-zehn  Uhr  und  null  Sekunden.", " Es ist ~ drei-zehn  Uhr.");
    zeile("21:31:58 seconds", "21:31:58", true, true,
          " Es ist  ein-und-zwan-zig  Uhr  ein-und-drei-ßig  und  acht-und-fünf-zig  Sekunden.",
          " Es ist ~ ein-un-zwan-zig  Uhr  ein-un-drei-ssig ~ und ~ acht-un-fuenf-zig  Sekunden.");
}

void TestZeitSatz::workedExamples() {
    QFETCH(QString, zeit);
    QFETCH(bool, sekunden);
    QFETCH(bool, minuteOderStunde);
    QFETCH(QString, anzeige);
    QFETCH(QString, gesprochen);
    const std::string z = zeit.toStdString();
    QCOMPARE(QString::fromStdString(AnzeigeSatz(z, sekunden)), anzeige);
    QCOMPARE(QString::fromStdString(SprechSatz(z, sekunden, minuteOderStunde)), gesprochen);
}

namespace {

const std::set<std::string> WortTeile = {
    "Es",   "ist",  "Uhr",  "und",  "Sekunde", "Sekunden", "null",   "ein",  "eins",
    "eine", "zwei", "drei", "vier", "fuenf",   "sechs",    "sieben", "acht", "neun",
    "sech", "sieb", "zehn", "elf",  "zwoelf",  "zwan",     "zig",    "ssig", "un"};

// Both sentences open with a space and close with "." right after a word.
bool Rahmen(const std::string& s) {
    return s.size() > 2 && s.front() == ' ' && s.back() == '.' && s[s.size() - 2] != ' ' &&
           s[s.size() - 2] != '-' && s.find('.') == s.size() - 1;
}

} // namespace

// Every clock time, every seconds setting and mode: the spoken sentence is made of known pieces
// only, so every word it says has a recording.
void TestZeitSatz::allTimes() {
    char zeit[9];
    for (int t = 0; t < 86400; ++t) {
        std::snprintf(zeit, sizeof zeit, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
        for (const bool sek : {false, true}) {
            const std::string anzeige = AnzeigeSatz(zeit, sek);
            QVERIFY2(Rahmen(anzeige), anzeige.c_str());
            QVERIFY2(anzeige.find("-un-") == std::string::npos, anzeige.c_str());
            for (const bool mOderS : {false, true}) {
                const std::string s = SprechSatz(zeit, sek, mOderS);
                QVERIFY2(Rahmen(s), s.c_str());
                std::string wort;
                for (const char c : s) {
                    const bool erlaubt = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                         c == ' ' || c == '-' || c == '~' || c == '.';
                    QVERIFY2(erlaubt, s.c_str());
                    if (c == ' ' || c == '-' || c == '.') {
                        if (!wort.empty()) {
                            QVERIFY2(wort == "~" || WortTeile.count(wort), wort.c_str());
                        }
                        wort.clear();
                    } else {
                        wort += c;
                    }
                }
                const bool sekundenGesprochen = s.find("Sekunde") != std::string::npos;
                const bool erwartet = sek && !(t % 60 == 0 && mOderS);
                QCOMPARE(sekundenGesprochen, erwartet);
            }
        }
    }
}

void TestZeitSatz::invalidTimeTexts_data() {
    QTest::addColumn<QString>("zeit");
    QTest::addColumn<QString>("anzeige");
    QTest::newRow("empty") << ""
                           << " Es ist  null  Uhr  und  null  Sekunden.";
    QTest::newRow("short") << "7"
                           << " Es ist  sieben  Uhr  und  null  Sekunden.";
    QTest::newRow("letters") << "ab:cd:ef"
                             << " Es ist  null  Uhr  und  null  Sekunden.";
    QTest::newRow("one digit fields") << "9:5:1"
                                      << " Es ist  neun  Uhr  und  null  Sekunden.";
    QTest::newRow("out of range")
        << "99:99:99"
        << " Es ist  neun-und-neun-zig  Uhr  neun-und-neun-zig  und  neun-und-neun-zig  Sekunden.";
}

// A malformed time text never reads out of bounds; each field is the value of its leading
// digits.
void TestZeitSatz::invalidTimeTexts() {
    QFETCH(QString, zeit);
    QFETCH(QString, anzeige);
    const std::string z = zeit.toStdString();
    QCOMPARE(QString::fromStdString(AnzeigeSatz(z, true)), anzeige);
    QVERIFY(SprechSatz(z, true, false).ends_with("."));
}

QTEST_APPLESS_MAIN(TestZeitSatz)
#include "tst_zeitsatz.moc"
