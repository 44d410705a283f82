// SPDX-License-Identifier: GPL-3.0-or-later
#include "mZahlWort.h"

#include <QTest>

class TestZahlWort : public QObject {
    Q_OBJECT
private slots:
    void cardinals_data();
    void cardinals();
    void specialRows_data();
    void specialRows();
    void wellFormed();
    void outOfRange();
};

static QString W(int zahl, int genus, int ordinal) {
    return QString::fromStdString(ZahlWort(zahl, genus, ordinal));
}

void TestZahlWort::cardinals_data() {
    QTest::addColumn<int>("zahl");
    QTest::addColumn<QString>("worte");
    const char* tabelle[60] = {
        "null",
        "",
        "zwei",
        "drei",
        "vier",
        "fünf",
        "sechs",
        "sieben",
        "acht",
        "neun",
        "zehn",
        "elf",
        "zwölf",
        "drei-zehn",
        "vier-zehn",
        "fünf-zehn",
        "sech-zehn",
        "sieb-zehn",
        "acht-zehn",
        "neun-zehn",
        "zwan-zig",
        "ein-un-zwan-zig",
        "zwei-un-zwan-zig",
        "drei-un-zwan-zig",
        "vier-un-zwan-zig",
        "fünf-un-zwan-zig",
        "sechs-un-zwan-zig",
        "sieben-un-zwan-zig",
        "acht-un-zwan-zig",
        "neun-un-zwan-zig",
        "drei-ßig",
        "ein-un-drei-ßig",
        "zwei-un-drei-ßig",
        "drei-un-drei-ßig",
        "vier-un-drei-ßig",
        "fünf-un-drei-ßig",
        "sechs-un-drei-ßig",
        "sieben-un-drei-ßig",
        "acht-un-drei-ßig",
        "neun-un-drei-ßig",
        "vier-zig",
        "ein-un-vier-zig",
        "zwei-un-vier-zig",
        "drei-un-vier-zig",
        "vier-un-vier-zig",
        "fünf-un-vier-zig",
        "sechs-un-vier-zig",
        "sieben-un-vier-zig",
        "acht-un-vier-zig",
        "neun-un-vier-zig",
        "fünf-zig",
        "ein-un-fünf-zig",
        "zwei-un-fünf-zig",
        "drei-un-fünf-zig",
        "vier-un-fünf-zig",
        "fünf-un-fünf-zig",
        "sechs-un-fünf-zig",
        "sieben-un-fünf-zig",
        "acht-un-fünf-zig",
        "neun-un-fünf-zig",
    };
    for (int n = 0; n < 60; ++n) {
        if (n != 1) {
            QTest::addRow("%d", n) << n << QString::fromUtf8(tabelle[n]);
        }
    }
}

// 0 to 59 read the same whatever the gender, except 1.
void TestZahlWort::cardinals() {
    QFETCH(int, zahl);
    QFETCH(QString, worte);
    for (int genus = 0; genus <= 2; ++genus) {
        QCOMPARE(W(zahl, genus, 0), worte);
    }
}

void TestZahlWort::specialRows_data() {
    QTest::addColumn<int>("zahl");
    QTest::addColumn<int>("genus");
    QTest::addColumn<int>("ordinal");
    QTest::addColumn<QString>("worte");
    struct Zeile {
        int zahl, genus, ordinal;
        const char* worte;
    };
    const Zeile zeilen[] = {
        {1, 0, 0, "ein"},
        {1, 1, 0, "eine"},
        {1, 2, 0, "eins"},
        {100, 0, 0, "ein-hundert"},
        {101, 0, 0, "ein-hundert-ein"},
        {101, 1, 0, "ein-hundert-eine"},
        {101, 2, 0, "ein-hundert-eins"},
        {116, 1, 0, "ein-hundert-sech-zehn"},
        {121, 2, 0, "ein-hundert-ein-un-zwan-zig"},
        {600, 0, 0, "sechs-hundert"},
        {666, 0, 0, "sechs-hundert-sechs-un-sech-zig"},
        {717, 0, 0, "sieben-hundert-sieb-zehn"},
        {999, 0, 0, "neun-hundert-neun-un-neun-zig"},
        {60, 0, 0, "sech-zig"},
        {70, 0, 0, "sieb-zig"},
        {0, 0, 1, "null-te"},
        {1, 2, 1, "er-ste"},
        {2, 0, 1, "zwei-te"},
        {3, 0, 1, "drit-te"},
        {7, 0, 1, "sieben-te"},
        {8, 0, 1, "ach-te"},
        {13, 0, 1, "drei-zehn-te"},
        {19, 0, 1, "neun-zehn-te"},
        {20, 0, 1, "zwan-zig-ste"},
        {23, 0, 1, "drei-un-zwan-zig-ste"},
        {28, 0, 1, "acht-un-zwan-zig-ste"},
        {100, 0, 1, "ein-hundert-ste"},
        {102, 0, 1, "ein-hundert-zwei-te"},
        {120, 0, 1, "ein-hundert-zwan-zig-ste"},
        // The ordinal of one has its stem whatever the gender.
        {1, 0, 1, "er-ste"},
        {1, 1, 1, "er-ste"},
        {201, 0, 1, "zwei-hundert-er-ste"},
    };
    for (const Zeile& z : zeilen) {
        QTest::addRow("%d/%d/%d", z.zahl, z.genus, z.ordinal)
            << z.zahl << z.genus << z.ordinal << QString::fromUtf8(z.worte);
    }
}

void TestZahlWort::specialRows() {
    QFETCH(int, zahl);
    QFETCH(int, genus);
    QFETCH(int, ordinal);
    QFETCH(QString, worte);
    QCOMPARE(W(zahl, genus, ordinal), worte);
}

// Every result, cardinal and ordinal, is pieces joined by single "-"; the "and" appears exactly
// where a ones digit stands before a tens word from 21 on.
void TestZahlWort::wellFormed() {
    for (int ordinal = 0; ordinal <= 1; ++ordinal) {
        for (int genus = 0; genus <= 2; ++genus) {
            for (int zahl = 0; zahl <= 999; ++zahl) {
                const std::string s = ZahlWort(zahl, genus, ordinal);
                QVERIFY2(!s.empty() && s.front() != '-' && s.back() != '-' &&
                             s.find("--") == std::string::npos,
                         s.c_str());
                const int rest = zahl % 100;
                const bool mitUn = rest > 20 && rest % 10 != 0;
                std::size_t anzahl = 0;
                for (std::size_t p = s.find("-un-"); p != std::string::npos;
                     p = s.find("-un-", p + 1)) {
                    ++anzahl;
                }
                QCOMPARE(anzahl, mitUn ? 1u : 0u);
                if (ordinal == 1) {
                    const bool ste = s.ends_with("-ste");
                    QVERIFY2(ste || s.ends_with("-te"), s.c_str());
                    if (rest >= 13 && rest <= 19) {
                        QVERIFY2(!ste, s.c_str());
                    }
                    if (rest >= 20) {
                        QVERIFY2(ste, s.c_str());
                    }
                }
            }
        }
    }
}

void TestZahlWort::outOfRange() {
    QCOMPARE(W(-1, 0, 0), QString());
    QCOMPARE(W(1000, 0, 0), QString());
    QCOMPARE(W(INT_MIN, 0, 0), QString());
    QCOMPARE(W(5, 3, 0), QString());
    QCOMPARE(W(5, -1, 0), QString());
    QCOMPARE(W(5, 0, 2), QString());
}

QTEST_APPLESS_MAIN(TestZahlWort)
#include "tst_zahlwort.moc"
