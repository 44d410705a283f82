// SPDX-License-Identifier: GPL-3.0-or-later
#include "mProgVer.h"

#include <QTest>

// The version text: major, two-digit minor and the revision as a letter.
class TestProgVer : public QObject {
    Q_OBJECT
private slots:
    void versionText_data();
    void versionText();
};

void TestProgVer::versionText_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.0.0") << 1 << 0 << 0 << "1.00";
    QTest::newRow("2.5.3") << 2 << 5 << 3 << "2.05c";
    QTest::newRow("1.12.9999") << 1 << 12 << 9999 << QString::fromUtf8("1.12ß");
    QTest::newRow("minor 123") << 1 << 123 << 0 << "1.23";
    QTest::newRow("revision 26") << 3 << 1 << 26 << "3.01z";
    QTest::newRow("revision 32: euro sign") << 1 << 0 << 32 << QString::fromUtf8("1.00€");
    QTest::newRow("revision 33: no character") << 1 << 0 << 33 << "1.00";
    QTest::newRow("revision 500: no character") << 1 << 0 << 500 << "1.00";
}

void TestProgVer::versionText() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(ProgVer(major, minor, revision)), text);
}

QTEST_APPLESS_MAIN(TestProgVer)
#include "tst_progver.moc"
