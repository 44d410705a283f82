// SPDX-License-Identifier: GPL-3.0-or-later
#include "mGetCMD.h"

#include <QTest>

#include <vector>

class TestGetCMD : public QObject {
    Q_OBJECT
private slots:
    void splitting_data();
    void splitting();
    void hundredArguments();
    void numericValue_data();
    void numericValue();
    void joinArgv_data();
    void joinArgv();
};

using Args = QStringList;

void TestGetCMD::splitting_data() {
    QTest::addColumn<QString>("zeile");
    QTest::addColumn<Args>("args"); // arguments 1, 2, 3
    QTest::newRow("! 2") << "! 2" << Args{"!", "2", ""};
    QTest::newRow("two blanks") << "!  2" << Args{"!", "", "2"};
    QTest::newRow("leading blank") << " ! 2" << Args{"", "!", "2"};
    QTest::newRow("trailing blank") << "! " << Args{"!", "", ""};
    QTest::newRow("quoted blank") << "\"! 2\"" << Args{"! 2", "", ""};
    QTest::newRow("quoted second mark") << "!\"!\"" << Args{"!!", "", ""};
    QTest::newRow("quotes in the middle") << "a\"b c\"d e" << Args{"ab cd", "e", ""};
    QTest::newRow("two quotes add nothing") << "\"\" 3" << Args{"", "3", ""};
    QTest::newRow("unclosed quote keeps blanks") << "! \"2 3 4" << Args{"!", "2 3 4", ""};
    QTest::newRow("tab is no separator") << "!\t2" << Args{"!\t2", "", ""};
    QTest::newRow("empty") << "" << Args{"", "", ""};
}

void TestGetCMD::splitting() {
    QFETCH(QString, zeile);
    QFETCH(Args, args);
    const std::string z = zeile.toStdString();
    QCOMPARE(QString::fromStdString(GetCMD(z, 0)), QString());
    for (int n = 1; n <= 3; ++n) {
        QCOMPARE(QString::fromStdString(GetCMD(z, n)), args[n - 1]);
    }
}

// 99 blanks make 100 arguments, the most there are; beyond them and outside 0-100 the text is
// empty.
void TestGetCMD::hundredArguments() {
    std::string zeile;
    for (int i = 1; i <= 120; ++i) {
        zeile += (i > 1 ? " " : "") + std::to_string(i);
    }
    QCOMPARE(GetCMD(zeile, 1), std::string("1"));
    QCOMPARE(GetCMD(zeile, 100), std::string("100"));
    QCOMPARE(GetCMD(zeile, 101), std::string());
    QCOMPARE(GetCMD(zeile, -1), std::string());
    QCOMPARE(GetCMD(zeile, INT_MAX), std::string());
    QCOMPARE(GetCMD(std::string(99, ' ') + "x", 100), std::string("x"));
    QCOMPARE(GetCMD(std::string(100, ' ') + "x", 100), std::string());
}

void TestGetCMD::numericValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("wert");
    QTest::newRow("3") << "3" << 3.0;
    QTest::newRow("2.5") << "2.5" << 2.5;
    QTest::newRow("3x") << "3x" << 3.0;
    QTest::newRow("x3") << "x3" << 0.0;
    QTest::newRow("blanks inside") << " 1 2" << 12.0;
    QTest::newRow("tab and line feed") << "\t4\n2" << 42.0;
    QTest::newRow("&H1F") << "&H1F" << 31.0;
    QTest::newRow("&h lower") << "&hff" << 255.0;
    QTest::newRow("&O17") << "&O17" << 15.0;
    QTest::newRow("&O stops at 8") << "&O18" << 1.0;
    QTest::newRow("& alone") << "&" << 0.0;
    QTest::newRow("1E2") << "1E2" << 100.0;
    QTest::newRow("1D2") << "1D2" << 100.0;
    QTest::newRow("1E-1") << "1E-1" << 0.1;
    QTest::newRow("1E without digits") << "1E" << 1.0;
    QTest::newRow("-0") << "-0" << 0.0;
    QTest::newRow("-3") << "-3" << -3.0;
    QTest::newRow("+4") << "+4" << 4.0;
    QTest::newRow(".5") << ".5" << 0.5;
    QTest::newRow("comma is no point") << "2,5" << 2.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("too large") << "1E999" << 0.0;
}

void TestGetCMD::numericValue() {
    QFETCH(QString, text);
    QFETCH(double, wert);
    QCOMPARE(NumericValue(text.toStdString()), wert);
}

void TestGetCMD::joinArgv_data() {
    QTest::addColumn<QStringList>("argv");
    QTest::addColumn<Args>("args");
    QTest::newRow("none") << QStringList{} << Args{"", "", ""};
    QTest::newRow("! and empty and 2") << QStringList{"!", "", "2"} << Args{"!", "", "2"};
    QTest::newRow("one argument with a blank") << QStringList{"! 2"} << Args{"! 2", "", ""};
    QTest::newRow("!! 3") << QStringList{"!!", "3"} << Args{"!!", "3", ""};
}

// Each element of argv stays one argument after joining and splitting.
void TestGetCMD::joinArgv() {
    QFETCH(QStringList, argv);
    QFETCH(Args, args);
    std::vector<std::string> store{"tikkaru"};
    for (const QString& a : argv) {
        store.push_back(a.toStdString());
    }
    std::vector<const char*> ptrs;
    for (const std::string& s : store) {
        ptrs.push_back(s.c_str());
    }
    const std::string text = CommandLineText(static_cast<int>(ptrs.size()), ptrs.data());
    for (int n = 1; n <= 3; ++n) {
        QCOMPARE(QString::fromStdString(GetCMD(text, n)), args[n - 1]);
    }
}

QTEST_APPLESS_MAIN(TestGetCMD)
#include "tst_getcmd.moc"
