// The session's timers on the event loop: a re-armed monitor timer keeps its
// interval as the period of the ticks, whatever each tick took.

#include "shell/SessionTimers.h"
#include "shell/WaitWithMessages.h"

#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

class SessionTimerTest : public QObject {
    Q_OBJECT
    using Clock = std::chrono::steady_clock;

    static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

private slots:
    void aRearmedTimerKeepsTheIntervalAsThePeriodOfTheTicks()
    {
        // Ticks that take 12 ms each, at a 20 ms interval, as the session runs them:
        // stopped at the start, re-armed at the end.
        QTimer qtimer;
        qtimer.setTimerType(Qt::PreciseTimer);
        qtimer.setInterval(20);
        std::vector<Clock::time_point> starts;
        QtSessionTimer* self = nullptr;
        bool keptRunning = true;
        QtSessionTimer timer(&qtimer, [&] {
            starts.push_back(Clock::now());
            self->Stop();
            // Stopped for the session; the QTimer is not taken down and set up again.
            keptRunning = keptRunning && !self->Active() && qtimer.isActive();
            std::this_thread::sleep_for(std::chrono::milliseconds(12));
            self->Rearm();
        }, true);
        self = &timer;
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(starts.size() >= 11, 2000);
        QVERIFY(keptRunning);
        timer.Stop();
        QVERIFY(!qtimer.isActive());
        QCOMPARE(timer.Interval(), 20);
        // 10 periods: 200 ms, far from the 320 ms of a pause added after each
        // tick. A tick that woke late shortens the next gap by as much, no more.
        const double total = Ms(starts[10] - starts[0]);
        QVERIFY2(total >= 199.5 && total < 230.0, qPrintable(QString("10 periods took %1 ms").arg(total)));
        for (size_t i = 1; i < starts.size(); ++i)
            QVERIFY(Ms(starts[i] - starts[i - 1]) >= 12.0);
    }

    void aTickLongerThanTheIntervalIsFollowedAtOnceAndAPlainStartWaitsTheInterval()
    {
        QTimer qtimer;
        qtimer.setInterval(10);
        std::vector<Clock::time_point> starts;
        QtSessionTimer* self = nullptr;
        QtSessionTimer timer(&qtimer, [&] {
            starts.push_back(Clock::now());
            self->Stop();
            if (starts.size() == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            if (starts.size() < 2)
                self->Rearm();
        }, true);
        self = &timer;
        const auto started = Clock::now();
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(starts.size() == 2, 2000);
        QVERIFY(Ms(starts[0] - started) >= 10.0); // a plain start waits the whole interval
        QVERIFY(Ms(starts[1] - starts[0]) < 38.0); // 30 ms of tick, then at once rather than 10 ms more
        QTest::qWait(30);
        QCOMPARE(starts.size(), size_t{2});
        QVERIFY(!timer.Active());
    }

    // A tick that lets the event loop run (a wait inside it) is not entered
    // again meanwhile, and the timer is off from its next timeout on, as the
    // tick asked; a tick that starts it again keeps it running.
    void aTickThatLetsTheEventLoopRunIsNotEnteredAgainAndItsStopHolds()
    {
        QTimer qtimer;
        qtimer.setTimerType(Qt::PreciseTimer);
        qtimer.setInterval(10);
        int ticks = 0, depth = 0, deepest = 0;
        bool offDuringWait = false;
        QtSessionTimer* self = nullptr;
        QtSessionTimer timer(&qtimer, [&] {
            ++ticks;
            deepest = std::max(deepest, ++depth);
            self->Stop();
            if (ticks == 2) {
                WaitWithMessages(45); // four timeouts' worth, as a tick waits
                offDuringWait = !qtimer.isActive() && !self->Active();
            }
            if (ticks == 4)
                self->Start(); // started again inside the tick, without a re-arm
            else if (ticks < 6)
                self->Rearm();
            --depth;
        }, true);
        self = &timer;
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks == 6, 2000);
        QCOMPARE(deepest, 1);
        QVERIFY(offDuringWait);
        QTest::qWait(40);
        QCOMPARE(ticks, 6); // the last tick did not re-arm it
        QVERIFY(!timer.Active() && !qtimer.isActive());
    }

    void aTimerThatIsNotPacedStartsTheIntervalAnewWhenRearmed()
    {
        // The search timer: re-armed, it waits its whole interval.
        QTimer qtimer;
        qtimer.setInterval(25);
        std::vector<Clock::time_point> starts;
        QtSessionTimer* self = nullptr;
        QtSessionTimer timer(&qtimer, [&] {
            starts.push_back(Clock::now());
            self->Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (starts.size() < 2)
                self->Rearm();
        });
        self = &timer;
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(starts.size() == 2, 2000);
        // The tick's 10 ms and a whole interval after it, less the 5 % that a
        // coarse QTimer may fire early; counted from the tick's start, the
        // interval would end after 25 ms.
        QVERIFY2(Ms(starts[1] - starts[0]) >= 10 + 25 * 0.95 - 0.25,
                 qPrintable(QString::number(Ms(starts[1] - starts[0])) + " ms between the ticks"));
    }

    // Stopped, a timer does not tick, not even when its time had come before
    // the stop and the event loop has not yet seen it; started again, it
    // ticks as before.
    void aStoppedTimerDoesNotTickThoughItsTimeHadCome()
    {
        QTimer qtimer;
        qtimer.setTimerType(Qt::PreciseTimer);
        qtimer.setInterval(5);
        int ticks = 0;
        QtSessionTimer* self = nullptr;
        QtSessionTimer timer(&qtimer, [&] {
            ++ticks;
            self->Stop();
            self->Rearm();
        }, true);
        self = &timer;
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 2000);
        // Past the next tick's time without the event loop, then stopped.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int before = ticks;
        timer.Stop();
        QTest::qWait(40);
        QCOMPARE(ticks, before);
        timer.Start();
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= before + 3, 2000);
        timer.Stop();
    }
};

QTEST_MAIN(SessionTimerTest)
#include "test_session_timer.moc"
