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
// previous one was, to the microsecond: the interval is the period of the
// ticks, not a pause after each, when the timer is made paced. A tick that
// began late does not push the later ones back; one that ran past the next
// one's time is followed at once, and the count starts anew from there. A QTimer only
// counts whole milliseconds from when it is started, so that wait runs on a
// kernel timer (timerfd) watched by the event loop; the QTimer still runs and
// would tick should that timer be missing.
class QtSessionTimer final : public QObject, public SessionTimer {
    Q_OBJECT
public:
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

    QTimer* timer_;
    std::function<void()> tick_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    bool armed_ = false;           // the kernel timer is set and has not expired and been read
    Clock::time_point armedFor_{}; // when the kernel timer is due
    Clock::time_point due_{};      // when the running tick was due
    bool firing_ = false;     // a tick of this timer is running
};
