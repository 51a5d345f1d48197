#include "shell/SessionTimers.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

QtSessionTimer::QtSessionTimer(QTimer* timer, std::function<void()> tick, bool paced)
    : timer_(timer), tick_(std::move(tick))
{
    connect(timer_, &QTimer::timeout, this, [this] { Fire(Clock::now()); });
    if (paced)
        fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
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

void QtSessionTimer::Start()
{
    if (!timer_->isActive())
        timer_->start();
}

void QtSessionTimer::Rearm()
{
    if (timer_->isActive())
        return;
    timer_->start();
    if (!firing_ || fd_ < 0)
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
    timer_->stop();
    Disarm();
}

bool QtSessionTimer::Active() const
{
    return timer_->isActive();
}

void QtSessionTimer::SetInterval(int ms)
{
    // A new interval starts a running QTimer anew; the kernel timer follows it.
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

void QtSessionTimer::Fire(Clock::time_point due)
{
    due_ = due;
    firing_ = true;
    tick_();
    firing_ = false;
}
