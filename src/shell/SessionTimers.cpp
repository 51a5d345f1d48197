#include "shell/SessionTimers.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

QtSessionTimer::QtSessionTimer(QTimer* timer, std::function<void()> tick, bool paced)
    : timer_(timer), tick_(std::move(tick)), paced_(paced)
{
    connect(timer_, &QTimer::timeout, this, &QtSessionTimer::QtTimerFired);
    if (paced) {
        fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        // A tick that lets the event loop wait (a pause, a dialog) is off while it waits.
        if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance())
            connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, &QtSessionTimer::StopNowIfAsked);
    }
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &QtSessionTimer::KernelTimerFired);
    }
}

QtSessionTimer::~QtSessionTimer()
{
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

bool QtSessionTimer::OnQtPeriod() const
{
    return paced_ && (fd_ < 0 || timer_->interval() >= kKernelBelowMs);
}

void QtSessionTimer::Start()
{
    stopAtEnd_ = false;
    if (!timer_->isActive())
        timer_->start();
}

void QtSessionTimer::Rearm()
{
    if (stopAtEnd_) {
        // Stopped in this tick and started again at its end: the QTimer
        // runs on, and its period is the ticks'.
        stopAtEnd_ = false;
        return;
    }
    if (timer_->isActive())
        return;
    timer_->start();
    if (!firing_ || fd_ < 0 || OnQtPeriod())
        return;
    // steady_clock is CLOCK_MONOTONIC, the kernel timer's clock.
    const Clock::time_point now = Clock::now();
    Clock::time_point next = due_ + std::chrono::milliseconds(timer_->interval());
    if (next < now)
        next = now; // the tick ran past the next one's time: the next one comes at once
    armedFor_ = next;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next.time_since_epoch()).count();
    itimerspec due{};
    due.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    due.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    if (due.it_value.tv_sec == 0 && due.it_value.tv_nsec == 0)
        due.it_value.tv_nsec = 1; // zero would disarm it
    armed_ = ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &due, nullptr) == 0;
}

void QtSessionTimer::Stop()
{
    if (firing_ && OnQtPeriod() && timer_->isActive()) {
        stopAtEnd_ = true;
        return;
    }
    stopAtEnd_ = false;
    timer_->stop();
    Disarm();
}

bool QtSessionTimer::Active() const
{
    return timer_->isActive() && !stopAtEnd_;
}

void QtSessionTimer::SetInterval(int ms)
{
    // A new interval starts a running QTimer anew; the kernel timer follows it.
    StopNowIfAsked();
    timer_->setInterval(ms);
    Disarm();
}

int QtSessionTimer::Interval() const
{
    return timer_->interval();
}

void QtSessionTimer::Disarm()
{
    // A kernel timer that expired and was read is disarmed already (it runs
    // once): the tick that stops the timer at its start costs no system call.
    if (fd_ < 0 || !armed_)
        return;
    itimerspec off{};
    ::timerfd_settime(fd_, 0, &off, nullptr);
    armed_ = false;
}

void QtSessionTimer::KernelTimerFired()
{
    // Setting the timer anew forgets an expiry not read yet, so a read that
    // finds none is a stale wake-up.
    uint64_t expiries = 0;
    if (::read(fd_, &expiries, sizeof expiries) != static_cast<ssize_t>(sizeof expiries) || expiries == 0)
        return;
    armed_ = false;
    if (timer_->isActive())
        Fire(armedFor_);
}

void QtSessionTimer::StopNowIfAsked()
{
    if (stopAtEnd_) {
        stopAtEnd_ = false;
        timer_->stop();
    }
}

void QtSessionTimer::QtTimerFired()
{
    // A tick that lets the event loop run is not entered again meanwhile.
    if (!firing_)
        Fire(Clock::now());
}

void QtSessionTimer::Fire(Clock::time_point due)
{
    due_ = due;
    firing_ = true;
    tick_();
    firing_ = false;
    StopNowIfAsked();
}
