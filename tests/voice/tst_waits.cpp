// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "FakeClock.h"
#include "FakePump.h"
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
