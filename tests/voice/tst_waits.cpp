// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "FakeClock.h"
#include "PlayTiming.h"
#include "mWaitS.h"

#include <QTest>
#include <QTimer>

// WaitS holds nothing up for the time asked, measured on the monotonic clock; and the
// player's timing arithmetic.
class TestWaitS : public QObject {
    Q_OBJECT

private slots:
    // The wait holds nothing up: it returns at once, and its end comes from the event loop
    // once the time has passed on the monotonic clock; events keep coming meanwhile.
    void endsFromTheEventLoop_data() {
        QTest::addColumn<double>("seconds");
        QTest::newRow("a pause") << 0.25;
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -1.5;
    }
    void endsFromTheEventLoop() {
        QFETCH(double, seconds);
        SystemClock clock;
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);
        const double start = clock.MonotonicSeconds();
        double ended = 0;
        WaitS(seconds, clock, [&] { ended = clock.MonotonicSeconds(); });
        QCOMPARE(ended, 0.0); // not from inside the call
        QTRY_VERIFY(ended > 0);
        tick.stop();
        QVERIFY2(ended - start >= std::max(seconds, 0.0),
                 qPrintable(QString::number(ended - start)));
        if (seconds > 0) {
            QVERIFY(ticks > 0);
        }
    }

    void acrossMidnightAndClockChanges() {
        // Started 0.1 s before midnight, a wait of 0.25 s ends 0.15 s after it; setting the
        // time of day back meanwhile changes nothing either.
        FakeClock clock(23 * 3600 + 59 * 60 + 59.9);
        const double start = clock.MonotonicSeconds();
        double ended = 0;
        WaitS(0.25, clock, [&] { ended = clock.MonotonicSeconds(); });
        clock.Advance(0.1);
        clock.Set(1, 0, 0);
        clock.Advance(0.1);
        QCOMPARE(ended, 0.0);
        clock.Advance(0.1);
        QVERIFY(qAbs(ended - start - 0.25) < 1e-9);
    }

    // The player's arithmetic on one timing answer, at 8 kHz mono 16 bit (16 bytes a ms).
    void rewindLead_data() {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<quint64>("sinkUsec");
        QTest::addColumn<quint64>("ageUsec");
        QTest::addColumn<qint64>("sinceUnderrun");
        QTest::addColumn<quint64>("leadBytes");
        QTest::newRow("playing: no lead")
            << true << quint64(40000) << quint64(0) << qint64(-1) << quint64(0);
        QTest::newRow("what the sink holds, less the age")
            << false << quint64(40000) << quint64(10000) << qint64(-1) << quint64(480);
        QTest::newRow("hold nearly used up: the configured latency")
            << false << quint64(40000) << quint64(39500) << qint64(-1) << quint64(1600);
        QTest::newRow("at most half a second")
            << false << quint64(2000000) << quint64(0) << qint64(-1) << quint64(8000);
        QTest::newRow("no longer than dry, plus the age")
            << false << quint64(40000) << quint64(1000) << qint64(80) << quint64(96);
    }
    void rewindLead() {
        QFETCH(bool, playing);
        QFETCH(quint64, sinkUsec);
        QFETCH(quint64, ageUsec);
        QFETCH(qint64, sinceUnderrun);
        QFETCH(quint64, leadBytes);
        TimingSnapshot t{true, playing, sinkUsec, 100000, ageUsec, sinceUnderrun, 0, 8000, 2};
        QCOMPARE(quint64(RewindLeadBytes(t)), leadBytes);
        t.known = false;
        QCOMPARE(RewindLeadBytes(t), std::size_t(0));
    }

    void expectEnd_data() {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<quint64>("sinkUsec");
        QTest::addColumn<quint64>("latencyUsec");
        QTest::addColumn<double>("bound"); // carried from an earlier look, 0 for none
        QTest::addColumn<bool>("done");
        QTest::addColumn<double>("end"); // after now = 100 s
        // The run is 160 bytes: 10 ms. Polls every 10 ms, returns 5 ms ahead.
        QTest::newRow("playing: now plus the latency")
            << true << quint64(0) << quint64(30000) << 0.0 << true << 100.03;
        QTest::newRow("latency covers hold and run")
            << false << quint64(20000) << quint64(30000) << 0.0 << true << 100.03;
        QTest::newRow("not started: ask again")
            << false << quint64(2000000) << quint64(30000) << 0.0 << false << 0.0;
        QTest::newRow("not started, bound near: the bound")
            << false << quint64(2000000) << quint64(30000) << 100.01 << true << 100.01;
        QTest::newRow("nonsense latency: bounded")
            << true << quint64(0) << quint64(60000000) << 0.0 << true << 105.0;
    }
    void expectEnd() {
        QFETCH(bool, playing);
        QFETCH(quint64, sinkUsec);
        QFETCH(quint64, latencyUsec);
        QFETCH(double, bound);
        QFETCH(bool, done);
        QFETCH(double, end);
        const TimingSnapshot t{true, playing, sinkUsec, 0, 0, -1, latencyUsec, 8000, 2};
        const PlayEnd e = ExpectEnd(t, 160, 100.0, bound, 0.010, 0.005);
        QCOMPARE(e.done, done);
        if (done) {
            QVERIFY(qAbs(e.end - end) < 1e-9);
        } else {
            QVERIFY(qAbs(e.bound - 102.01) < 1e-9); // hold plus run
        }
    }
};

QTEST_GUILESS_MAIN(TestWaitS)
#include "tst_waits.moc"
