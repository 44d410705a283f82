// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormFixture.h"
#include "mZeitplan.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

Q_DECLARE_METATYPE(Modus)

// The tick's decisions over simulated time: pieces take 0.3 s, ticks fall every half second,
// also while an announcement is heard.
class TestScheduler : public QObject {
    Q_OBJECT
private slots:
    void everyMinute_data();
    void everyMinute();
    void manualOnlyRefreshes();
    void continuousFollowsAtOnce();
    void displayRestoredAfterAnnouncement();
    void buttonAcrossFullMinuteSwallowsIt();
    void switchToManualDuringAnnouncement();
    void alignedTicks();
    void tickDecision_data();
    void tickDecision();
    void nextNeededTick_data();
    void nextNeededTick();
};

// Each row also tells whether the player was asked to get ready for the first piece in the
// second before a full minute or hour that is announced (once or at each tick of it).
void TestScheduler::everyMinute_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<double>("s");
    QTest::addColumn<int>("announcements");
    QTest::addColumn<QString>("spoken");
    QTest::addColumn<double>("piece"); // seconds a piece takes to play
    QTest::addColumn<bool>("prepared");
    const QString minute = " Es ist ~ zwoelf  Uhr  vier-un-drei-ssig.";
    QTest::newRow("minute 12:34:00 once")
        << "opMM" << 12 << 33 << 58.3 << 1 << minute << 0.3 << true;
    QTest::newRow("minute nothing at :30") << "opMM" << 12 << 34 << 25.0 << 0 << "" << 0.3 << false;
    QTest::newRow("minute announces the hour")
        << "opMM" << 12 << 59 << 58.0 << 1 << " Es ist ~ drei-zehn  Uhr." << 0.3 << true;
    QTest::newRow("hour 13:00:00")
        << "opHH" << 12 << 59 << 57.1 << 1 << " Es ist ~ drei-zehn  Uhr." << 0.3 << true;
    QTest::newRow("hour not 13:01:00") << "opHH" << 13 << 0 << 58.0 << 0 << "" << 0.3 << false;
    QTest::newRow("manual never") << "opMA" << 12 << 59 << 58.0 << 0 << "" << 0.3 << false;
    // Silent pieces (no sound server): the announcement is over within its second, and the
    // tick half a second later must not speak the same minute again.
    QTest::newRow("minute once, also when silent")
        << "opMM" << 12 << 33 << 58.3 << 1 << minute << 0.0 << true;
    QTest::newRow("hour once, also when silent")
        << "opHH" << 12 << 59 << 57.1 << 1 << " Es ist ~ drei-zehn  Uhr." << 0.0 << true;
}

void TestScheduler::everyMinute() {
    QFETCH(QString, mode);
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(double, s);
    QFETCH(int, announcements);
    QFETCH(QString, spoken);
    QFETCH(double, piece);
    QFETCH(bool, prepared);
    FormFixture f;
    f.player.seconds = piece;
    f.FillVoices();
    f.form->findChild<QRadioButton*>(mode)->setChecked(true);
    f.form->chSek->setChecked(true); // at second 0 the minute and hour modes still drop them
    QString heard;
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        base(call);
        heard = f.form->TT->text();
    };
    f.Run(h, m, s, 8);
    QCOMPARE(f.Announcements(), announcements);
    QCOMPARE(heard, spoken);
    QCOMPARE(!f.player.prepared.empty(), prepared);
    if (prepared) {
        // The recording of "Es" in the selected voice, as it is then played.
        QVERIFY(!f.player.prepared[0].file);
        QCOMPARE(f.player.prepared[0].image, f.player.calls.at(0).image);
    }
}

void TestScheduler::manualOnlyRefreshes() {
    FormFixture f;
    f.FillVoices();
    f.form->opMA->setChecked(true);
    f.Run(7, 59, 59.2, 1.2);
    QCOMPARE(f.form->TZ->text(), QString("08:00:00"));
    QCOMPARE(f.form->TT->text(), QString::fromUtf8(" Es ist  acht  Uhr  und  null  Sekunden."));
    QCOMPARE(f.Announcements(), 0);
}

// Each announcement starts at the first tick after the previous one ended.
void TestScheduler::continuousFollowsAtOnce() {
    FormFixture f;
    f.FillVoices();
    f.form->opAU->setChecked(true);
    std::vector<double> starts, ends;
    int lastDrains = 0;
    bool speaking = false;
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        if (!speaking) {
            starts.push_back(f.clock.MonotonicSeconds());
            speaking = true;
        }
        base(call);
    };
    f.clock.Set(10, 0, 0.1);
    f.nextTick = f.clock.MonotonicSeconds();
    for (const double end = f.nextTick + 20; f.clock.MonotonicSeconds() < end;) {
        if (f.player.drains != lastDrains) {
            lastDrains = f.player.drains;
            ends.push_back(f.clock.MonotonicSeconds());
            speaking = false;
        }
        f.DueTicks();
        f.clock.Advance(0.01);
    }
    QVERIFY(f.Announcements() >= 3);
    QVERIFY(starts.size() >= 3 && ends.size() >= 2);
    for (std::size_t i = 1; i < starts.size() && i - 1 < ends.size(); ++i) {
        QVERIFY2(starts[i] - ends[i - 1] <= 0.5 + 1e-9,
                 qPrintable(QString::number(starts[i] - ends[i - 1])));
    }
}

void TestScheduler::displayRestoredAfterAnnouncement() {
    FormFixture f;
    f.FillVoices();
    QStringList tzWhilePlaying;
    bool sentenceWhilePlaying = true;
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        base(call);
        tzWhilePlaying << f.form->TZ->text();
        sentenceWhilePlaying = sentenceWhilePlaying && f.form->TT->text().contains('~');
    };
    f.Run(12, 33, 59.8, 6);
    QVERIFY(!tzWhilePlaying.isEmpty());
    QCOMPARE(tzWhilePlaying.removeDuplicates(), tzWhilePlaying.size() - 1);
    QCOMPARE(tzWhilePlaying.front(), QString("12:34:00"));
    QVERIFY(sentenceWhilePlaying);
    QCOMPARE(f.Announcements(), 1);
    QCOMPARE(f.form->TZ->text().left(6), QString("12:34:"));
    QVERIFY(!f.form->TT->text().contains('~'));
}

// No catch-up: a full minute that passes while the button's announcement runs is not spoken.
void TestScheduler::buttonAcrossFullMinuteSwallowsIt() {
    FormFixture f;
    f.FillVoices();
    f.clock.Set(12, 33, 58.5);
    f.nextTick = f.clock.MonotonicSeconds();
    f.form->cOK->click();
    while (f.form->vBusy == 1) {
        f.DueTicks();
        f.clock.Advance(0.01);
    }
    QCOMPARE(f.Announcements(), 1);
    QVERIFY(f.clock.TimeText() > "12:34:00");
    f.Run(12, 34, 1.0, 3);
    QCOMPARE(f.Announcements(), 1);
}

void TestScheduler::switchToManualDuringAnnouncement() {
    FormFixture f;
    f.FillVoices();
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        base(call);
        f.form->opMA->setChecked(true);
    };
    f.Run(12, 33, 59.9, 70);
    QCOMPARE(f.Announcements(), 1);
    QVERIFY(f.form->opMA->isChecked());
}

// Ticks fall just after each full and half second of the clock, whatever the phase at start.
void TestScheduler::alignedTicks() {
    FormFixture f;
    for (const double s : {0.0, 0.1, 0.4999, 0.5, 0.73, 0.999}) {
        f.clock.Set(12, 0, s);
        const int ms = f.form->Timer1->MsBisZumNaechsten();
        const double next = s + ms / 1000.0;
        const double phase = std::fmod(next, 0.5);
        QVERIFY2(ms >= 0 && ms <= 503, qPrintable(QString::number(ms)));
        QVERIFY2(phase >= 0.002 && phase < 0.004, qPrintable(QString::number(phase)));
    }

    // Ticks that cannot change anything are left out: a window nobody sees wakes for the full
    // minute or hour its mode announces and the second before it (at least every 10 s), a window
    // that is seen once a second, continuous mode every half second.
    struct Fall {
        const char* modus;
        bool gezeigt;
        int h, m;
        double s;
        int ms;
    };
    for (const Fall& c :
         {Fall{"opMM", false, 12, 0, 55.3, 3702}, Fall{"opMM", false, 12, 0, 59.1, 902},
          Fall{"opMM", false, 12, 0, 30.0, 10002}, Fall{"opHH", false, 12, 59, 57.25, 1752},
          Fall{"opMA", false, 12, 0, 3.9, 10102}, Fall{"opAU", false, 12, 0, 30.1, 402},
          Fall{"opMA", true, 12, 0, 0.3, 702}, Fall{"opAU", true, 12, 0, 0.3, 202}}) {
        FormFixture g;
        if (c.gezeigt) {
            QVERIFY(g.FillVoicesAndShowActive());
        }
        g.form->findChild<QRadioButton*>(c.modus)->setChecked(true);
        g.clock.Set(c.h, c.m, c.s);
        const int ms = g.form->Timer1->MsBisZumNoetigen();
        QVERIFY2(std::abs(ms - c.ms) <= 1,
                 qPrintable(QString("%1 %2: %3 ms").arg(c.modus).arg(c.s).arg(ms)));
    }
}

// The schedule alone, without a window: what a tick at a clock time does.
void TestScheduler::tickDecision_data() {
    QTest::addColumn<QString>("zeit");
    QTest::addColumn<Modus>("modus");
    QTest::addColumn<QString>("zuletzt");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("ansagen");
    QTest::addColumn<bool>("merken");
    QTest::addColumn<bool>("vorbereiten");
    auto row = [](const char* name, const char* zeit, Modus m, const char* zuletzt, bool busy,
                  bool ansagen, bool merken, bool vorbereiten = false) {
        QTest::newRow(name) << zeit << m << zuletzt << busy << ansagen << merken << vorbereiten;
    };
    const Modus mm = Modus::JedeMinute, hh = Modus::JedeStunde;
    row("minute at second 0", "12:34:00", mm, "12:33:00", false, true, true);
    row("minute already spoken", "12:34:00", mm, "12:34:00", false, false, false);
    row("minute inside an announcement", "12:34:00", mm, "", true, true, false);
    row("minute not at :30", "12:34:30", mm, "", false, false, false);
    row("minute at second 10", "12:34:10", mm, "", false, false, false);
    row("minute announces the hour", "13:00:00", mm, "", false, true, true);
    row("hour at 13:00:00", "13:00:00", hh, "12:00:00", false, true, true);
    row("hour not at 13:01:00", "13:01:00", hh, "", false, false, false);
    row("hour at midnight", "00:00:00", hh, "23:00:00", false, true, true);
    row("hour already spoken", "00:00:00", hh, "00:00:00", false, false, false);
    row("continuous every tick", "12:34:17", Modus::Fortlaufend, "", false, true, false);
    row("continuous keeps no memory", "12:34:00", Modus::Fortlaufend, "12:34:00", true, true,
        false);
    row("manual never", "12:00:00", Modus::Manuell, "", false, false, false);
    // The second before an announced full minute or hour gets the player ready.
    row("minute: second 59 prepares", "12:34:59", mm, "12:34:00", false, false, false, true);
    row("minute: not inside an announcement", "12:34:59", mm, "", true, false, false, false);
    row("hour: 12:59:59 prepares", "12:59:59", hh, "12:00:00", false, false, false, true);
    row("hour: 12:34:59 does not", "12:34:59", hh, "", false, false, false, false);
    row("continuous: never prepares", "12:34:59", Modus::Fortlaufend, "", false, true, false,
        false);
    row("manual: never prepares", "12:59:59", Modus::Manuell, "", false, false, false, false);
}

void TestScheduler::tickDecision() {
    QFETCH(QString, zeit);
    QFETCH(Modus, modus);
    QFETCH(QString, zuletzt);
    QFETCH(bool, busy);
    QFETCH(bool, ansagen);
    QFETCH(bool, merken);
    QFETCH(bool, vorbereiten);
    const TickEntscheidung t =
        EntscheideTick(zeit.toStdString(), modus, zuletzt.toStdString(), busy);
    QCOMPARE(t.ansagen, ansagen);
    QCOMPARE(t.merken, merken);
    QCOMPARE(t.vorbereiten, vorbereiten);
}

// When the next tick is needed, in seconds since midnight.
void TestScheduler::nextNeededTick_data() {
    QTest::addColumn<double>("jetzt");
    QTest::addColumn<Modus>("modus");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("gesehen");
    QTest::addColumn<double>("naechster");
    auto row = [](const char* name, double jetzt, Modus m, bool busy, bool gesehen, double n) {
        QTest::newRow(name) << jetzt << m << busy << gesehen << n;
    };
    const double t = 12 * 3600 + 34 * 60; // 12:34:00
    row("announcing: the very next", t + 56.3, Modus::JedeMinute, true, false, t + 56.3);
    row("continuous: the very next", t + 56.3, Modus::Fortlaufend, false, true, t + 56.3);
    row("seen: the next second", t + 56.3, Modus::Manuell, false, true, t + 57);
    row("seen on the second: the next", t + 56.0, Modus::JedeMinute, false, true, t + 57);
    row("unseen minute: the second before", t + 56.3, Modus::JedeMinute, false, false, t + 59);
    row("unseen minute in that second: the full minute", t + 59.002, Modus::JedeMinute, false,
        false, t + 60);
    row("unseen minute on it: the next", t, Modus::JedeMinute, false, false, t + 59);
    row("unseen hour: the second before", t + 56.3, Modus::JedeStunde, false, false, 13 * 3600 - 1);
    row("unseen hour before midnight", 86399.5, Modus::JedeStunde, false, false, 86400);
    row("unseen manual: the longest rest", t + 3.9, Modus::Manuell, false, false,
        t + 3.9 + LaengsteRuhe);
}

void TestScheduler::nextNeededTick() {
    QFETCH(double, jetzt);
    QFETCH(Modus, modus);
    QFETCH(bool, busy);
    QFETCH(bool, gesehen);
    QFETCH(double, naechster);
    QCOMPARE(NaechsterNoetigerTick(jetzt, {modus, busy, gesehen}), naechster);
}

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
