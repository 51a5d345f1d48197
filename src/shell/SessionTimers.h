#pragma once
// The session's timers on the window's event loop.

#include "session/Session.h"

#include <QObject>

#include <chrono>
#include <functional>

class QSocketNotifier;
class QTimer;

// A session timer on a QTimer of the window: the QTimer holds the interval
// and says whether the timer runs; its timeout calls the tick.
//
// Re-armed after a tick (Rearm), the next tick is due one interval after the
// previous one was: the interval is the period of the ticks, not a pause
// after each, when the timer is made paced. A tick that began late does not
// push the later ones back; one that ran past the next one's time is followed
// at once, and the count starts anew from there.
//
// A paced timer stopped at the start of its own tick and re-armed at its end
// keeps its QTimer running instead, on the QTimer's own period: the stop
// waits for the end of the tick, which the re-arm cancels, so a tick costs no
// timer taken down and set up again. Should the tick let the event loop wait
// (a pause, a dialog), the stop takes effect before it does. The QTimer
// counts whole milliseconds and wakes the loop up to one late, which keeps
// the period on average only while a tick and that millisecond fit in the
// interval; below kKernelBelowMs the wait runs instead on a kernel timer
// (timerfd) watched by the event loop, to the microsecond, and the QTimer,
// started anew after each tick, would tick should that timer be missing.
class QtSessionTimer final : public QObject, public SessionTimer {
    Q_OBJECT
public:
    // Intervals below this many milliseconds run on the kernel timer.
    static constexpr int kKernelBelowMs = 10;

    QtSessionTimer(QTimer* timer, std::function<void()> tick, bool paced = false);
    ~QtSessionTimer() override;

    void Start() override;
    void Rearm() override;
    void Stop() override;
    bool Active() const override;
    void SetInterval(int ms) override;
    int Interval() const override;

private:
    using Clock = std::chrono::steady_clock;
    void Fire(Clock::time_point due);
    void Disarm();
    void KernelTimerFired();
    void QtTimerFired();
    // Takes the QTimer down when a stop waits for the end of the tick.
    void StopNowIfAsked();
    // Paced on the QTimer's own period (else, when paced, on the kernel timer).
    bool OnQtPeriod() const;

    QTimer* timer_;
    std::function<void()> tick_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    bool armed_ = false;           // the kernel timer is set and has not expired and been read
    Clock::time_point armedFor_{}; // when the kernel timer is due
    Clock::time_point due_{};      // when the running tick was due
    bool firing_ = false;     // a tick of this timer is running
    bool paced_ = false;
    bool stopAtEnd_ = false;  // stopped in its own tick while running on the QTimer's period
};
