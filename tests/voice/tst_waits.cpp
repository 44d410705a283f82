// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "FakeClock.h"
#include "FakePump.h"
#include "PlayTiming.h"
#include "QtEventPump.h"
#include "mWaitS.h"

#include <QTest>
#include <QTimer>

// WaitS keeps the window alive for the time asked, measured on the monotonic clock.
class TestWaitS : public QObject {
    Q_OBJECT

private slots:
    void zeroOrNegativeProcessesOnce_data() {
        QTest::addColumn<double>("seconds");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -1.5;
    }
    void zeroOrNegativeProcessesOnce() {
        QFETCH(double, seconds);
        FakeClock clock;
        FakePump pump;
        pump.advance = [&](double s) { clock.Advance(s); };
        WaitS(seconds, clock, pump);
        QCOMPARE(pump.pending, 1);
        QCOMPARE(pump.waits, 0);
    }

    void sleepsBetweenPasses() {
        // Every pass processes the pending events, then sleeps the rest of the wait away
        // instead of polling the clock.
        FakeClock clock;
        FakePump pump;
        pump.advance = [&](double s) { clock.Advance(s); };
        const double start = clock.MonotonicSeconds();
        WaitS(0.25, clock, pump);
        QCOMPARE(clock.MonotonicSeconds() - start, 0.25);
        QCOMPARE(pump.waits, 1);
        QCOMPARE(pump.pending, 2);
    }

    void endTestUsesTimeReadBeforeEvents() {
        // Two events of 0.125 s each make up the wait exactly: equality ends it. An event
        // that runs past the end still gets one more pass, as the time was read before it.
        FakeClock clock;
        FakePump pump;
        pump.onProcess = [&] { clock.Advance(0.125); };
        WaitS(0.25, clock, pump);
        QCOMPARE(pump.pending + pump.waits, 3);
        QCOMPARE(pump.pending, 2);

        FakePump slow;
        slow.onProcess = [&] { clock.Advance(0.3); };
        WaitS(0.25, clock, slow);
        QCOMPARE(slow.pending, 2);
        QCOMPARE(slow.waits, 0);
    }

    void acrossMidnightAndClockChanges() {
        // Started 0.1 s before midnight, a wait of 0.25 s ends 0.15 s after it; setting the
        // time of day back meanwhile changes nothing either.
        FakeClock clock(23 * 3600 + 59 * 60 + 59.9);
        FakePump pump;
        pump.advance = [&](double s) { clock.Advance(std::min(s, 0.05)); };
        const double start = clock.MonotonicSeconds();
        WaitS(0.25, clock, pump);
        QCOMPARE(clock.MonotonicSeconds() - start, 0.25);
        QVERIFY(qAbs(clock.SecondsSinceMidnight() - 0.15) < 1e-9);

        int passes = 0;
        pump.onProcess = [&] {
            if (++passes == 2) {
                clock.Set(1, 0, 0);
            }
        };
        const double again = clock.MonotonicSeconds();
        WaitS(0.25, clock, pump);
        QVERIFY(qAbs(clock.MonotonicSeconds() - again - 0.25) < 1e-9);
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

    void qtPumpRunsEventsWhileWaiting() {
        // With the real clock and event loop: a timer fires during the wait, and a wait for
        // events returns when one arrives rather than at its timeout.
        SystemClock clock;
        QtEventPump pump;
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);
        WaitS(0.2, clock, pump);
        tick.stop();
        QVERIFY(ticks > 0);

        bool fired = false;
        QTimer::singleShot(0, [&] { fired = true; });
        pump.WaitForEvents(3600.0);
        QVERIFY(fired);
        pump.WaitForEvents(0.01); // nothing pending: returns at the timeout
    }
};

QTEST_GUILESS_MAIN(TestWaitS)
#include "tst_waits.moc"
